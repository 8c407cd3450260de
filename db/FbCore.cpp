#include "db/FbCore.h"

#include <ibase.h>

#include <algorithm>
#include <array>

#include "db/FbCall.h"
#include "db/Win1252.h"

using namespace Firebird;

namespace fb {

template <typename T>
void LetGo(T* object) noexcept {
    if constexpr (requires { object->release(); })
        object->release();
    else
        object->dispose();
}

template void LetGo(IAttachment*) noexcept;
template void LetGo(IService*) noexcept;
template void LetGo(ITransaction*) noexcept;
template void LetGo(IStatement*) noexcept;
template void LetGo(IResultSet*) noexcept;
template void LetGo(IMessageMetadata*) noexcept;
template void LetGo(IMetadataBuilder*) noexcept;
template void LetGo(IBlob*) noexcept;
template void LetGo(IXpbBuilder*) noexcept;
template void LetGo(IStatus*) noexcept;

namespace detail {

IMaster* Master() {
    static IMaster* master = fb_get_master_interface();
    return master;
}

IUtil* Util() { return Master()->getUtilInterface(); }

IProvider* Provider() {
    static IProvider* provider = Master()->getDispatcher();
    return provider;
}

namespace {

QString StatusText(IStatus* status) {
    std::array<char, 4096> buffer{};
    unsigned length = Util()->formatStatus(buffer.data(), buffer.size(), status);
    QByteArray bytes(buffer.data(),
                     static_cast<qsizetype>(std::min<std::size_t>(length, buffer.size())));
    // File names travel as UTF-8; anything else the client says is ASCII.
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = DecodeWin1252(bytes);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char(' '))) text.chop(1);
    return text;
}

std::vector<std::intptr_t> StatusCodes(IStatus* status) {
    std::vector<std::intptr_t> codes;
    const std::intptr_t* v = status->getErrors();
    for (int i = 0; v && v[i] != isc_arg_end && i < 40;) {
        switch (v[i]) {
            case isc_arg_gds:
                codes.push_back(v[i + 1]);
                i += 2;
                break;
            case isc_arg_cstring:
                i += 3;
                break;
            default:
                i += 2;
        }
    }
    return codes;
}

}  // namespace

FbError ErrorFrom(IStatus* status) { return FbError(StatusText(status), StatusCodes(status)); }

}  // namespace detail

using namespace detail;

namespace {

// Splits "name=value"; the value may itself hold "=".
std::pair<QString, QString> SplitParam(const QString& param) {
    qsizetype eq = param.indexOf(QLatin1Char('='));
    if (eq < 0) return {param.trimmed().toLower(), QString()};
    return {param.left(eq).trimmed().toLower(), param.mid(eq + 1)};
}

class Builder {
public:
    explicit Builder(unsigned kind)
        : builder_(Call(
              [&](ThrowStatusWrapper* s) { return Util()->getXpbBuilder(s, kind, nullptr, 0); })) {}
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    void String(unsigned char tag, const QByteArray& value) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertString(s, tag, value.constData()); });
    }
    void Tag(unsigned char tag) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertTag(s, tag); });
    }
    void Int(unsigned char tag, unsigned value) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertInt(s, tag, static_cast<int>(value)); });
    }
    QByteArray Bytes() {
        return Call([&](ThrowStatusWrapper* s) {
            const unsigned char* buffer = builder_->getBuffer(s);
            unsigned length = builder_->getBufferLength(s);
            return QByteArray(reinterpret_cast<const char*>(buffer), length);
        });
    }

private:
    Owned<IXpbBuilder> builder_;
};

void InsertLoginParams(Builder& builder, const QStringList& params, bool database) {
    for (const QString& param : params) {
        auto [name, value] = SplitParam(param);
        if (name == u"user_name")
            builder.String(isc_dpb_user_name, value.toUtf8());
        else if (name == u"password")
            builder.String(isc_dpb_password, value.toUtf8());
        else if (database && name == u"lc_ctype")
            builder.String(isc_dpb_lc_ctype, value.toUtf8());
        else
            throw FbError(QStringLiteral("Parámetro de conexión desconocido: %1").arg(name));
    }
}

QString ProvidersConfig(const QString& providers) {
    return QStringLiteral("Providers=") + providers;
}

LocalProvider localProvider = LocalProvider::Embedded;

}  // namespace

// ---------------------------------------------------------------- FbError

FbError::FbError(const QString& text, std::vector<std::intptr_t> codes)
    : std::runtime_error(text.toStdString()), text_(text), codes_(std::move(codes)) {}

bool FbError::HasCode(std::intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool FbError::IsNetworkError() const {
    return HasCode(isc_network_error) || HasCode(isc_net_connect_err);
}

void SetLocalProvider(LocalProvider provider) { localProvider = provider; }
LocalProvider CurrentLocalProvider() { return localProvider; }

bool IsRemoteName(const QString& name) {
    qsizetype colon = name.indexOf(QLatin1Char(':'));
    if (colon <= 1) return false;  // no host, or a drive letter
    const QString host = name.left(colon);
    return !host.startsWith(QLatin1Char('/')) && !host.startsWith(QLatin1Char('\\')) &&
           !host.contains(QLatin1Char('\\'));
}

QByteArray BuildDatabaseParams(const QStringList& params, const QString& providers) {
    Builder builder(IXpbBuilder::DPB);
    InsertLoginParams(builder, params, true);
    builder.Tag(isc_dpb_utf8_filename);
    if (!providers.isEmpty()) builder.String(isc_dpb_config, ProvidersConfig(providers).toUtf8());
    return builder.Bytes();
}

QByteArray BuildServiceAttachParams(const QStringList& params, const QString& providers) {
    Builder builder(IXpbBuilder::SPB_ATTACH);
    InsertLoginParams(builder, params, false);
    builder.Tag(isc_spb_utf8_filename);
    if (!providers.isEmpty()) builder.String(isc_spb_config, ProvidersConfig(providers).toUtf8());
    return builder.Bytes();
}

QByteArray BuildTransactionParams(const QStringList& params) {
    Builder builder(IXpbBuilder::TPB);
    for (const QString& param : params) {
        const QString p = param.trimmed().toLower();
        if (p == u"concurrency")
            builder.Tag(isc_tpb_concurrency);
        else if (p == u"consistency")
            builder.Tag(isc_tpb_consistency);
        else if (p == u"read_committed")
            builder.Tag(isc_tpb_read_committed);
        else if (p == u"rec_version")
            builder.Tag(isc_tpb_rec_version);
        else if (p == u"no_rec_version")
            builder.Tag(isc_tpb_no_rec_version);
        else if (p == u"nowait")
            builder.Tag(isc_tpb_nowait);
        else if (p == u"wait")
            builder.Tag(isc_tpb_wait);
        else if (p == u"read")
            builder.Tag(isc_tpb_read);
        else if (p == u"write")
            builder.Tag(isc_tpb_write);
        else
            throw FbError(QStringLiteral("Parámetro de transacción desconocido: %1").arg(param));
    }
    return builder.Bytes();
}

QByteArray BuildBackupStartParams(const QString& database, const QString& backupFile,
                                  unsigned options, bool verbose) {
    Builder builder(IXpbBuilder::SPB_START);
    builder.Tag(isc_action_svc_backup);
    builder.String(isc_spb_dbname, database.toUtf8());
    builder.String(isc_spb_bkp_file, backupFile.toUtf8());
    builder.Int(isc_spb_options, options);
    if (verbose) builder.Tag(isc_spb_verbose);
    return builder.Bytes();
}

QByteArray BuildRestoreStartParams(const QString& backupFile, const QString& database,
                                   unsigned options, unsigned pageSize, unsigned buffers,
                                   bool verbose) {
    Builder builder(IXpbBuilder::SPB_START);
    builder.Tag(isc_action_svc_restore);
    builder.Int(isc_spb_options, options);
    if (verbose) builder.Tag(isc_spb_verbose);
    builder.Int(isc_spb_res_page_size, pageSize);
    builder.Int(isc_spb_res_buffers, buffers);
    builder.String(isc_spb_bkp_file, backupFile.toUtf8());
    builder.String(isc_spb_dbname, database.toUtf8());
    return builder.Bytes();
}

void Shutdown() noexcept {
    try {
        Call([&](ThrowStatusWrapper* s) { Provider()->shutdown(s, 0, fb_shutrsn_app_stopped); });
    } catch (const FbError&) {
    }
}

}  // namespace fb
