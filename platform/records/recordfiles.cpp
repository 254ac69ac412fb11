#include "platform/records/recordfilesnative.h"

#include "platform/platformtexts.h"

#include <QDir>
#include <QStringDecoder>

namespace RecordFiles {

namespace {

const char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

} // namespace

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        Handle old(release());
        m_native = other.release();
        error = std::move(other.error);
    }
    return *this;
}

qintptr Handle::release()
{
    const qintptr native = m_native;
    m_native = -1;
    return native;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

Bytes readBytes(const Handle &file, qint64 limit)
{
    Bytes r;
    if (!file.valid()) {
        r.error = file.error;
        return r;
    }
    char buffer[4096];
    for (;;) {
        const qint64 n = Native::readAt(file, r.bytes.size(), buffer, sizeof buffer, r.error);
        if (n < 0)
            return r;
        if (n == 0)
            break;
        r.bytes.append(buffer, n);
        if (r.bytes.size() > limit) {
            r.bytes.clear();
            r.error = PlatformTexts::kReasonTooLarge;
            return r;
        }
    }
    return r;
}

ReadResult readAll(const Handle &file)
{
    const Bytes raw = readBytes(file);
    ReadResult r;
    r.error = raw.error;
    if (raw.ok())
        r.text = decode(raw.bytes);
    return r;
}

QString writeContent(const Handle &file, const QByteArray &content)
{
    if (!file.valid())
        return file.error;
    QString error;
    for (qsizetype done = 0; done < content.size();) {
        const qint64 n = Native::writeAt(file, done, content.constData() + done, content.size() - done, error);
        if (n < 0)
            return error;
        done += n;
    }
    return Native::setLength(file, content.size());
}

QString replaceContent(const Handle &file, const QByteArray &content)
{
    const QString error = writeContent(file, content);
    return error.isEmpty() ? sync(file) : error;
}

namespace Native {

Handle failed(const QString &reason)
{
    Handle h;
    h.error = reason;
    return h;
}

} // namespace Native

} // namespace RecordFiles
