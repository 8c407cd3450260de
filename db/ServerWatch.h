#pragma once
// A server that stops answering in the middle of a service job (hung, or its
// network gone) would keep the client waiting for ever inside one call, and
// the whole program with it. So every wait of a job has a limit: a job whose
// server says nothing for that long fails.
//
// Counting silent slices of the output catches a server that still answers
// but has nothing to say. A server that does not answer at all leaves the
// client inside its call: for that, the connections that the job's attach
// opened are watched while a call waits, and cut once the limit has passed,
// so that the call comes back with an error. The watch only cuts; nothing of
// the program runs beside the GUI thread.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace fb {

// The longest a job may go without a word from its server. Far above any
// real silence of a server at work (the index building of a large
// database's restore); tests set a shorter one.
constexpr std::chrono::milliseconds kDefaultSilenceLimit = std::chrono::hours(2);
std::chrono::milliseconds SilenceLimit();
void SetSilenceLimit(std::chrono::milliseconds limit);

// The limit in words: "120 minutos", "5 segundos".
QString SilenceLimitInWords();
// "El servidor ha dejado de responder: <limit> sin ninguna respuesta".
QString SilentServerText();

class ServerWatch {
public:
    ServerWatch() = default;
    ~ServerWatch();
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    // Notes the network connections open now, before an attach; Adopt()
    // then takes the ones that the attach added.
    void NoteOpenConnections();
    void Adopt();
    // Lets go of the connections (the job's attachment has ended).
    void Forget();

    // From Arm to Disarm a call waits on the server; past `deadline` its
    // connections are cut.
    void Arm(std::chrono::steady_clock::time_point deadline);
    void Disarm();
    // The watch cut the connections: the call's error is the silence.
    bool Cut() const;

private:
    void Watch();

    std::vector<int> before_;
    struct Connection {
        int fd;
        std::vector<unsigned char> peer;  // the address it is connected to
    };
    std::vector<Connection> connections_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool cut_ = false;
    bool ending_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::thread thread_;
};

}  // namespace fb
