#pragma once
// Inside the Firebird layer only: the client's entry points and the one way
// every unit of the layer calls the client, turning a failed status into
// FbError.

#include <firebird/Interface.h>

#include "db/FbCore.h"

namespace fb::detail {

Firebird::IMaster* Master();
Firebird::IUtil* Util();
Firebird::IProvider* Provider();

FbError ErrorFrom(Firebird::IStatus* status);

// Runs one client call with `status` (cleared first) and turns a failure
// into FbError. A caller that calls once per row keeps a status for it.
template <typename F>
auto CallWith(Firebird::IStatus* status, F&& f) {
    status->init();
    Firebird::ThrowStatusWrapper wrapper(status);
    try {
        return f(&wrapper);
    } catch (const Firebird::FbException& e) {
        throw ErrorFrom(e.getStatus());
    }
}

// The same with a fresh status.
template <typename F>
auto Call(F&& f) {
    const Owned<Firebird::IStatus> status(Master()->getStatus());
    return CallWith(status.get(), std::forward<F>(f));
}

// Attaches by the name's kind: another computer through the network provider;
// a name without a host through the engine the installation chose. A refused
// login is a refusal: no other engine is tried.
template <typename Attach>
auto AttachLocalOrRemote(const QString& name, Attach&& attach) {
    if (IsRemoteName(name)) return attach(QStringLiteral("Remote"));
    return attach(CurrentLocalProvider() == LocalProvider::Loopback ? QStringLiteral("Loopback")
                                                                    : QStringLiteral("Engine12"));
}

}  // namespace fb::detail
