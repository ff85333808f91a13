#include "service/system_disk_service.h"

#include <fcntl.h>

#include <QAtomicInteger>
#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QVariantMap>

namespace lumarest {

namespace {

constexpr const char* kServiceName = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* kManagerInterface = "org.freedesktop.UDisks2.Manager";
constexpr const char* kBlockInterface = "org.freedesktop.UDisks2.Block";
constexpr const char* kBlockDevicesPath = "/org/freedesktop/UDisks2/block_devices/";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectableInterface = "org.freedesktop.DBus.Introspectable";
constexpr const char* kAddressVariable = "DBUS_SYSTEM_BUS_ADDRESS";
constexpr const char* kAlwaysAskVariable = "LUMAREST_DISK_SERVICE";
constexpr int kLookupTimeoutMs = 10'000;
// Long enough for the user to type a password into the prompt.
constexpr int kOpenTimeoutMs = 300'000;

// A connection of its own per request, so the bus named in the environment now is the one
// asked, and nothing stays connected once the descriptor is handed over.
class BusConnection {
  public:
    BusConnection() : name_(NextName()), connection_(Connect(name_)) {}
    ~BusConnection() { QDBusConnection::disconnectFromBus(name_); }
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;
    QDBusConnection& operator*() { return connection_; }
    QDBusConnection* operator->() { return &connection_; }

  private:
    static QString NextName() {
        static QAtomicInteger<int> counter;
        return QStringLiteral("lumarest-disk-service-%1").arg(counter.fetchAndAddRelaxed(1));
    }
    static QDBusConnection Connect(const QString& name) {
        const QString address = qEnvironmentVariable(kAddressVariable);
        if (!address.isEmpty()) {
            return QDBusConnection::connectToBus(address, name);
        }
        return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    }

    QString name_;
    QDBusConnection connection_;
};

QDBusMessage Call(QDBusConnection& bus, const QString& path, const char* interface,
                  const char* method, const QList<QVariant>& arguments, int timeoutMs,
                  bool interactive = false) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromUtf8(kServiceName), path,
                                       QString::fromUtf8(interface), QString::fromUtf8(method));
    message.setArguments(arguments);
    message.setInteractiveAuthorizationAllowed(interactive);
    return bus.call(message, QDBus::Block, timeoutMs);
}

QString ErrorText(const QDBusMessage& reply) {
    QString text = reply.errorMessage();
    if (text.isEmpty()) {
        text = reply.errorName();
    }
    return text.isEmpty() ? QStringLiteral("no answer") : text;
}

// The Device property: a NUL-terminated byte string.
QByteArray DeviceOf(QDBusConnection& bus, const QString& path) {
    const QDBusMessage reply =
        Call(bus, path, kPropertiesInterface, "Get",
             {QString::fromUtf8(kBlockInterface), QStringLiteral("Device")}, kLookupTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    QByteArray bytes;
    if (value.canConvert<QDBusArgument>()) {
        value.value<QDBusArgument>() >> bytes;
    } else {
        bytes = value.toByteArray();
    }
    if (const qsizetype end = bytes.indexOf('\0'); end >= 0) {
        bytes.truncate(end);
    }
    return bytes;
}

// The block object whose Device is the path, by walking the block objects; used when the
// manager cannot resolve (services older than ResolveDevice).
QString WalkForBlock(QDBusConnection& bus, const QByteArray& device) {
    const QString root = QString::fromUtf8(kBlockDevicesPath);
    const QDBusMessage reply =
        Call(bus, root.chopped(1), kIntrospectableInterface, "Introspect", {}, kLookupTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    const QString xml = reply.arguments().constFirst().toString();
    const QString marker = QStringLiteral("<node name=\"");
    for (qsizetype at = xml.indexOf(marker); at >= 0; at = xml.indexOf(marker, at + 1)) {
        const qsizetype start = at + marker.size();
        const qsizetype end = xml.indexOf(QLatin1Char('"'), start);
        if (end < 0) {
            break;
        }
        const QString path = root + xml.mid(start, end - start);
        if (DeviceOf(bus, path) == device) {
            return path;
        }
    }
    return {};
}

// The block object of the device, or the service's error in `problem`.
QString FindBlock(QDBusConnection& bus, const QByteArray& device, QString& problem) {
    const QVariantMap wanted{{QStringLiteral("path"), QString::fromUtf8(device)}};
    const QDBusMessage reply = Call(bus, QString::fromUtf8(kManagerPath), kManagerInterface,
                                    "ResolveDevice", {wanted, QVariantMap{}}, kLookupTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().constFirst());
        if (!paths.isEmpty()) {
            return paths.constFirst().path();
        }
    } else {
        problem = ErrorText(reply);
    }
    if (const QString walked = WalkForBlock(bus, device); !walked.isEmpty()) {
        return walked;
    }
    if (problem.isEmpty()) {
        problem = QStringLiteral("it does not know the device");
    }
    return {};
}

}  // namespace

ServiceOpening SystemDiskService::OpenReadOnly(const std::string& devicePath) {
    ServiceOpening opening;
    BusConnection bus;
    if (!bus->isConnected()) {
        opening.problem =
            "the system bus cannot be reached (" + bus->lastError().message().toStdString() + ")";
        return opening;
    }
    QString problem;
    const QString block = FindBlock(*bus, QByteArray::fromStdString(devicePath), problem);
    if (block.isEmpty()) {
        opening.problem = problem.toStdString();
        return opening;
    }
    const QVariantMap options{{QStringLiteral("auth.no_user_interaction"), false}};
    const QDBusMessage reply = Call(*bus, block, kBlockInterface, "OpenDevice",
                                    {QStringLiteral("r"), options}, kOpenTimeoutMs, true);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        opening.problem = ErrorText(reply).toStdString();
        return opening;
    }
    const auto handed = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!handed.isValid()) {
        opening.problem = "it answered without a descriptor";
        return opening;
    }
    // The reply's own copy closes with it.
    opening.descriptor = ::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (opening.descriptor < 0) {
        opening.problem = "the descriptor it handed over could not be kept";
    }
    return opening;
}

bool AlwaysAskDiskService() {
    return qEnvironmentVariable(kAlwaysAskVariable) == QStringLiteral("always");
}

}  // namespace lumarest
