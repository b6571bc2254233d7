#include "inisettingsstore.h"

#include "model/atomicfile.h"
#include "model/datafolder.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>

#include <charconv>
#include <limits>
#include <system_error>

namespace kelmora::platform {

namespace fs = std::filesystem;

namespace {

QString toQString(const fs::path& path)
{
    return QFile::decodeName(path.c_str());
}

QString keyOf(std::string_view name)
{
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

template <typename Number> std::optional<std::int32_t> inRange(Number number)
{
    if (std::in_range<std::int32_t>(number)) {
        return static_cast<std::int32_t>(number);
    }
    return std::nullopt;
}

// Only numbers count: an INI file holds text, so a value that is not a decimal 32-bit number (a word, a
// fraction, a list, a value another program stored with a type of its own) reads as missing.
std::optional<std::int32_t> toInt32(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return parseSettingValue(value.toString().toStdString());
    case QMetaType::Int:
        return value.toInt();
    case QMetaType::UInt:
        return inRange(value.toUInt());
    case QMetaType::LongLong:
        return inRange(value.toLongLong());
    case QMetaType::ULongLong:
        return inRange(value.toULongLong());
    default:
        return std::nullopt;
    }
}

fs::path configFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) {
        return {};
    }
    return fs::path(QFile::encodeName(folder).toStdString());
}

bool isReservedInExec(char c)
{
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    return kReserved.find(c) != std::string_view::npos;
}

} // namespace

IniSettingsStore::IniSettingsStore(fs::path iniFile, fs::path autostartFile, fs::path executable)
    : m_iniFile(std::move(iniFile)), m_autostartFile(std::move(autostartFile)), m_executable(std::move(executable))
{}

std::int32_t IniSettingsStore::GetSetting(std::string_view name, std::int32_t defaultValue) const
{
    if (name.empty() || m_iniFile.empty()) {
        return defaultValue;
    }
    std::lock_guard lock(m_mutex);
    const QSettings settings(toQString(m_iniFile), QSettings::IniFormat);
    return toInt32(settings.value(keyOf(name))).value_or(defaultValue);
}

bool IniSettingsStore::SetSetting(std::string_view name, std::int32_t value)
{
    if (name.empty() || m_iniFile.empty()) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    // QSettings rewrites the file through a temporary file and a rename, so a failed write keeps the old one.
    // A file with a syntax error (FormatError) is still read as far as it goes and rewritten whole, which
    // repairs it; only a file that cannot be read or written at all refuses the value.
    QSettings settings(toQString(m_iniFile), QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError) {
        return false;
    }
    settings.setValue(keyOf(name), value);
    settings.sync();
    return settings.status() != QSettings::AccessError;
}

bool IniSettingsStore::IsAutostart() const
{
    // Any entry counts, even one that starts another copy of the program or a dangling link.
    std::error_code ec;
    return !m_autostartFile.empty() && fs::exists(fs::symlink_status(m_autostartFile, ec));
}

bool IniSettingsStore::SetAutostart(bool on)
{
    if (m_autostartFile.empty()) {
        return false;
    }
    if (!on) {
        std::error_code ec;
        fs::remove(m_autostartFile, ec);
        return !ec;
    }
    if (m_executable.empty() || !m_autostartFile.has_parent_path() ||
        !model::CreateDirectoryTree(m_autostartFile.parent_path())) {
        return false;
    }
    return model::WriteFileAtomically(m_autostartFile, autostartEntry(m_executable));
}

fs::path defaultSettingsFile()
{
    const fs::path folder = configFolder();
    return folder.empty() ? fs::path() : folder / "Kelmora" / "kelmora.conf";
}

fs::path defaultAutostartFile()
{
    const fs::path folder = configFolder();
    return folder.empty() ? fs::path() : folder / "autostart" / "kelmora.desktop";
}

fs::path currentExecutable()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self;
}

std::string desktopEntryExec(const fs::path& program)
{
    const std::string& raw = program.native();
    bool needsQuotes = raw.empty();
    for (const char c : raw) {
        needsQuotes = needsQuotes || isReservedInExec(c);
    }
    // Readers undo the string escapes first, then the quoting, then the field codes, so they are applied
    // here in the opposite order.
    std::string quoted;
    if (needsQuotes) {
        quoted.push_back('"');
    }
    for (const char c : raw) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
        if (c == '%') {
            quoted.push_back('%');
        }
    }
    if (needsQuotes) {
        quoted.push_back('"');
    }
    std::string escaped;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::string autostartEntry(const fs::path& program)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kelmora\n"
           "Comment=Personal time tracker\n"
           "Exec=" +
           desktopEntryExec(program) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::int32_t> parseSettingValue(std::string_view text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

std::unique_ptr<SettingsStore> createSettingsStore()
{
    return std::make_unique<IniSettingsStore>(defaultSettingsFile(), defaultAutostartFile(), currentExecutable());
}

} // namespace kelmora::platform
