#include "platform/globalshortcutsportal.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace kelmora::platform {

namespace {

// Portal shortcut ids are table positions: the desktop remembers the keys the user gave each id, and a
// position names the same command from run to run.
QString ShortcutId(std::size_t position)
{
    return QStringLiteral("kelmora-hotkey-%1").arg(position);
}

// The Request object the portal will create for a call with `token`, as the portal documentation derives it.
QString RequestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPortalPath), sender, token);
}

void RegisterTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
        return true;
    }();
    static_cast<void>(registered);
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, QString service)
    : m_bus(std::move(bus)), m_service(std::move(service))
{
    RegisterTypes();
    // QDBusConnection takes its receivers by signature text only. Slots taking the whole message receive the
    // signal whatever its arguments, and check them themselves.
    m_bus.connect(m_service, QString::fromLatin1(kPortalPath), QString::fromLatin1(kGlobalShortcutsInterface),
                  QStringLiteral("Activated"), this, SLOT(OnActivated(QDBusMessage)));
    m_bus.connect(m_service, QString::fromLatin1(kPortalPath), QString::fromLatin1(kGlobalShortcutsInterface),
                  QStringLiteral("ShortcutsChanged"), this, SLOT(OnShortcutsChanged(QDBusMessage)));
}

PortalGlobalShortcuts::~PortalGlobalShortcuts()
{
    DropRequest();
    CloseSession();
}

bool PortalGlobalShortcuts::IsOffered(const QDBusConnection& bus, const QString& service)
{
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, QString::fromLatin1(kPortalPath),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(kGlobalShortcutsInterface) << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

void PortalGlobalShortcuts::RegisterAll(const std::vector<ShortcutBinding>& bindings)
{
    DropRequest();
    CloseSession();
    m_bindings = bindings;
    SetStatuses(std::vector<ShortcutStatus>(bindings.size(), ShortcutStatus{ShortcutState::Pending, {}}));
    m_step = Step::CreatingSession;
    Request(QStringLiteral("CreateSession"), {},
            QVariantMap{{QStringLiteral("session_handle_token"), QStringLiteral("kelmora%1").arg(m_nextToken++)}});
}

void PortalGlobalShortcuts::UnregisterAll()
{
    DropRequest();
    CloseSession();
    m_bindings.clear();
    SetStatuses({});
}

void PortalGlobalShortcuts::Request(const QString& method, const QVariantList& arguments, QVariantMap options)
{
    const QString token = QStringLiteral("kelmora%1").arg(m_nextToken++);
    options.insert(QStringLiteral("handle_token"), token);
    // Listen before calling: the portal may answer before the call's own reply arrives.
    m_requestPath = RequestPath(m_bus, token);
    m_bus.connect(m_service, m_requestPath, QString::fromLatin1(kPortalRequestInterface), QStringLiteral("Response"),
                  this, SLOT(OnResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, QString::fromLatin1(kPortalPath),
                                                       QString::fromLatin1(kGlobalShortcutsInterface), method);
    QVariantList all = arguments;
    all << options;
    call.setArguments(all);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, expected = m_requestPath] {
        watcher->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        // Answered already, or replaced by a later request.
        if (m_requestPath != expected) {
            return;
        }
        if (reply.isError()) {
            Fail();
            return;
        }
        // An older portal picks its own path; follow it.
        const QString path = reply.value().path();
        if (path != m_requestPath) {
            m_bus.disconnect(m_service, m_requestPath, QString::fromLatin1(kPortalRequestInterface),
                             QStringLiteral("Response"), this, SLOT(OnResponse(uint, QVariantMap)));
            m_requestPath = path;
            m_bus.connect(m_service, m_requestPath, QString::fromLatin1(kPortalRequestInterface),
                          QStringLiteral("Response"), this, SLOT(OnResponse(uint, QVariantMap)));
        }
    });
}

void PortalGlobalShortcuts::OnResponse(uint response, const QVariantMap& results)
{
    const Step step = m_step;
    DropRequest();
    if (response != 0) {
        Fail();
        return;
    }
    if (step == Step::CreatingSession) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
        if (m_session.isEmpty()) {
            Fail();
            return;
        }
        Bind();
    } else if (step == Step::Binding) {
        const QVariant list = results.value(QStringLiteral("shortcuts"));
        ApplyShortcuts(qdbus_cast<PortalShortcutList>(list.value<QDBusArgument>()));
    }
}

void PortalGlobalShortcuts::Bind()
{
    PortalShortcutList shortcuts;
    std::vector<ShortcutStatus> status(m_bindings.size(), ShortcutStatus{ShortcutState::Pending, {}});
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        const QString trigger = PortalTrigger(m_bindings[i].modifiers, m_bindings[i].key);
        if (trigger.isEmpty() || EarlierDuplicate(m_bindings, i) >= 0) {
            status[i].state = ShortcutState::Unavailable;
            continue;
        }
        shortcuts.append(
            PortalShortcut{ShortcutId(i), QVariantMap{{QStringLiteral("description"), m_bindings[i].description},
                                                      {QStringLiteral("preferred_trigger"), trigger}}});
    }
    SetStatuses(std::move(status));
    m_step = Step::Binding;
    Request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString()}, {});
}

// The bound shortcuts, with the keys the desktop gave them. One the desktop left without keys, or did not
// bind at all, is unavailable.
void PortalGlobalShortcuts::ApplyShortcuts(const PortalShortcutList& shortcuts)
{
    std::vector<ShortcutStatus> status(m_bindings.size(), ShortcutStatus{ShortcutState::Unavailable, {}});
    for (const PortalShortcut& shortcut : shortcuts) {
        for (std::size_t i = 0; i < m_bindings.size(); ++i) {
            const QString trigger = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
            if (shortcut.id == ShortcutId(i) && !trigger.isEmpty()) {
                status[i] = ShortcutStatus{ShortcutState::Active, trigger};
            }
        }
    }
    SetStatuses(std::move(status));
}

namespace {

// The session handle of a portal signal, empty when the signal does not start with one.
QString SignalSession(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    return arguments.isEmpty() ? QString() : arguments.front().value<QDBusObjectPath>().path();
}

} // namespace

// ShortcutsChanged(o session_handle, a(sa{sv}) shortcuts): the user gave a shortcut other keys.
void PortalGlobalShortcuts::OnShortcutsChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || SignalSession(message) != m_session || m_step != Step::Idle || arguments.size() < 2) {
        return;
    }
    ApplyShortcuts(qdbus_cast<PortalShortcutList>(arguments.at(1).value<QDBusArgument>()));
}

// Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options).
void PortalGlobalShortcuts::OnActivated(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || SignalSession(message) != m_session || arguments.size() < 2) {
        return;
    }
    const QString shortcutId = arguments.at(1).toString();
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        if (shortcutId == ShortcutId(i) && Status(i).state == ShortcutState::Active) {
            emit activated(m_bindings[i].id);
        }
    }
}

void PortalGlobalShortcuts::Fail()
{
    DropRequest();
    CloseSession();
    SetStatuses(std::vector<ShortcutStatus>(m_bindings.size(), ShortcutStatus{ShortcutState::Unavailable, {}}));
}

void PortalGlobalShortcuts::CloseSession()
{
    if (m_session.isEmpty()) {
        return;
    }
    m_bus.asyncCall(QDBusMessage::createMethodCall(m_service, m_session, QString::fromLatin1(kPortalSessionInterface),
                                                   QStringLiteral("Close")));
    m_session.clear();
}

void PortalGlobalShortcuts::DropRequest()
{
    if (!m_requestPath.isEmpty()) {
        m_bus.disconnect(m_service, m_requestPath, QString::fromLatin1(kPortalRequestInterface),
                         QStringLiteral("Response"), this, SLOT(OnResponse(uint, QVariantMap)));
        m_requestPath.clear();
    }
    m_step = Step::Idle;
}

} // namespace kelmora::platform
