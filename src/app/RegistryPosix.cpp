#include "app/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>

#include "platform/ReplaceFile.h"
#include "platform/UniqueFd.h"

namespace omblor::app {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";

// Open handles map to the full path of their key.
std::map<HKEY, std::string>& OpenKeys() {
    static std::map<HKEY, std::string> keys;
    return keys;
}
HKEY g_nextHandle = 0x1000;

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> KeyPath(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return std::string(kMachineRoot);
    auto it = OpenKeys().find(key);
    if (it == OpenKeys().end()) return std::nullopt;
    return it->second;
}

// "SOFTWARE\Tarvik\OMBLOR\" under a parent: separators collapsed, no trailing backslash.
std::string JoinPath(const std::string& parent, std::string_view sub) {
    std::string out = parent;
    std::string part;
    auto flush = [&] {
        if (!part.empty()) out += "\\" + part;
        part.clear();
    };
    for (const char c : sub) {
        if (c == '\\') {
            flush();
        } else {
            part += c;
        }
    }
    flush();
    return out;
}

RegKeyEntry* FindKey(Hive& hive, std::string_view path) {
    for (auto& k : hive.keys) {
        if (SameName(k.path, path)) return &k;
    }
    return nullptr;
}

enum class Load { Ok, Unreadable };

// The whole file; empty for a missing one, nothing when it cannot be read or is far too big
// for a settings file.
std::optional<std::string> ReadText(const std::string& path) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        if (errno == ENOENT) return std::string();
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const auto n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > (1U << 24)) return std::nullopt;
    }
    return text;
}

// Reads the hive; a missing file is an empty hive, an unreadable one refuses every access.
Load ReadHive(Hive& hive) {
    const auto text = ReadText(HivePath());
    if (!text) return Load::Unreadable;
    hive = ParseHive(*text);
    return Load::Ok;
}

bool WriteReplacing(const std::string& path, std::string_view text) {
    return platform::WriteFileReplacing(path, std::as_bytes(std::span(text)),
                                        platform::FileKind::Settings);
}

bool MakeFolders(const std::string& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Full access needs a place the hive can be written to.
bool Writable() {
    const std::string path = HivePath();
    if (::access(path.c_str(), W_OK) == 0) return true;
    if (errno != ENOENT) return false;
    if (!MakeFolders(path)) return false;
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(folder.c_str(), W_OK) == 0;
}

bool SaveHive(const Hive& hive, bool keepDamagedCopy) {
    const std::string path = HivePath();
    if (!MakeFolders(path)) return false;
    if (keepDamagedCopy) {
        // Lines we could not read are dropped from the new file; keep a copy of the old one
        // beside it. A copy, not a hard link: not every file system has those.
        const auto old = ReadText(path);
        if (!old || !WriteReplacing(path + ".damaged", *old)) return false;
    }
    return WriteReplacing(path, FormatHive(hive));
}

HKEY NewHandle(std::string path) {
    const HKEY handle = g_nextHandle++;
    OpenKeys()[handle] = std::move(path);
    return handle;
}

// --- text form ---

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool PrintableText(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    return std::all_of(data.begin(), data.end() - 1, [](BYTE b) { return b >= 0x20 && b < 0x7F; });
}

std::string FormatValue(const RegValue& v) {
    std::string out = v.name.empty() ? std::string("@") : Quote(v.name);
    out += '=';
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char hex[16];
        const DWORD value = static_cast<DWORD>(v.data[0]) | static_cast<DWORD>(v.data[1]) << 8 |
                            static_cast<DWORD>(v.data[2]) << 16 |
                            static_cast<DWORD>(v.data[3]) << 24;
        std::snprintf(hex, sizeof hex, "dword:%08x", value);
        return out + hex;
    }
    if (v.type == REG_SZ && PrintableText(v.data)) {
        return out + Quote(std::string_view(reinterpret_cast<const char*>(v.data.data()),
                                            v.data.size() - 1));
    }
    char prefix[24];
    if (v.type == REG_BINARY) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
    }
    out += prefix;
    for (std::size_t i = 0; i < v.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", v.data[i]);
        if (i > 0) out += ',';
        out += byte;
    }
    return out;
}

// Reads a quoted string at s[pos]; moves pos past it.
std::optional<std::string> Unquote(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            out += s[++pos];
        } else if (s[pos] == '"') {
            ++pos;
            return out;
        } else {
            out += s[pos];
        }
    }
    return std::nullopt;
}

std::optional<std::vector<BYTE>> HexList(std::string_view s) {
    std::vector<BYTE> out;
    std::string digits;
    auto flush = [&]() -> bool {
        if (digits.empty()) return true;
        if (digits.size() > 2) return false;
        out.push_back(static_cast<BYTE>(std::strtoul(digits.c_str(), nullptr, 16)));
        digits.clear();
        return true;
    };
    for (const char c : s) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits += c;
        } else if (c == ',') {
            if (digits.empty() || !flush()) return std::nullopt;
        } else if (c != ' ' && c != '\t') {
            return std::nullopt;
        }
    }
    if (!flush()) return std::nullopt;
    return out;
}

std::optional<RegValue> ParseValue(std::string_view line) {
    RegValue v;
    std::size_t pos = 0;
    if (line.starts_with('@')) {
        pos = 1;
    } else {
        auto name = Unquote(line, pos);
        if (!name) return std::nullopt;
        v.name = *name;
    }
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    std::string_view rest = line.substr(pos + 1);
    if (rest.starts_with('"')) {
        std::size_t p = 0;
        auto text = Unquote(rest, p);
        if (!text || p != rest.size()) return std::nullopt;
        v.type = REG_SZ;
        v.data.assign(text->begin(), text->end());
        v.data.push_back(0);
        return v;
    }
    if (rest.starts_with("dword:")) {
        const std::string digits(rest.substr(6));
        if (digits.size() != 8 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            return std::nullopt;
        }
        const auto value = static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 16));
        v.type = REG_DWORD;
        v.data = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                  static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
        return v;
    }
    if (rest.starts_with("hex:")) {
        v.type = REG_BINARY;
        rest.remove_prefix(4);
    } else if (rest.starts_with("hex(")) {
        const auto close = rest.find("):");
        if (close == std::string_view::npos || close < 5 || close > 12) return std::nullopt;
        const std::string type(rest.substr(4, close - 4));
        if (!std::all_of(type.begin(), type.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            return std::nullopt;
        }
        v.type = static_cast<DWORD>(std::strtoul(type.c_str(), nullptr, 16));
        rest.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    auto bytes = HexList(rest);
    if (!bytes) return std::nullopt;
    v.data = std::move(*bytes);
    return v;
}

}  // namespace

std::string HivePath() {
    if (const char* file = std::getenv("OMBLOR_HKLM"); file != nullptr && *file != '\0') {
        return file;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.config";
    } else {
        base = "/tmp";
    }
    return base + "/Tarvik/HKLM.reg";
}

Hive ParseHive(std::string_view text) {
    Hive hive;
    // Join continuation lines ("\" at the end) and drop CRs first.
    std::vector<std::string> lines;
    std::string current;
    bool continued = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (continued) {
            const auto first = line.find_first_not_of(" \t");
            current += first == std::string::npos ? std::string() : line.substr(first);
        } else {
            current = line;
        }
        continued =
            !current.empty() && current.back() == '\\' && current.find("=hex") != std::string::npos;
        if (continued) {
            current.pop_back();
        } else {
            lines.push_back(std::move(current));
            current.clear();
        }
        start = end + 1;
    }
    if (continued) lines.push_back(current);

    bool seenHeader = false;
    RegKeyEntry* key = nullptr;
    for (const auto& line : lines) {
        if (line.empty() || line.starts_with(';')) continue;
        if (!seenHeader && line == kHeader) {
            seenHeader = true;
            continue;
        }
        if (line.starts_with('[') && line.ends_with(']') && !line.starts_with("[-")) {
            const std::string path = line.substr(1, line.size() - 2);
            if (!path.starts_with(std::string(kMachineRoot) + "\\")) {
                hive.damaged = true;
                key = nullptr;
                continue;
            }
            key = FindKey(hive, path);
            if (key == nullptr) {
                hive.keys.push_back({path, {}});
                key = &hive.keys.back();
            }
            continue;
        }
        auto value = key != nullptr ? ParseValue(line) : std::nullopt;
        if (!value) {
            hive.damaged = true;
            continue;
        }
        auto same = std::find_if(key->values.begin(), key->values.end(),
                                 [&](const RegValue& v) { return SameName(v.name, value->name); });
        if (same != key->values.end()) {
            *same = std::move(*value);
        } else {
            key->values.push_back(std::move(*value));
        }
    }
    if (!seenHeader && !text.empty()) hive.damaged = true;
    return hive;
}

std::string FormatHive(const Hive& hive) {
    std::string out(kHeader);
    out += "\n";
    for (const auto& key : hive.keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& v : key.values) out += FormatValue(v) + "\n";
    }
    return out;
}

// What opening and creating share: the parent's path, full access, the hive as it is now and the
// path of the key asked for.
static LONG OpenForFullAccess(HKEY key, const char* subKey, Hive& hive, std::string& path) {
    const auto parent = KeyPath(key);
    if (!parent) return ERROR_INVALID_HANDLE;
    if (!Writable()) return ERROR_ACCESS_DENIED;
    if (ReadHive(hive) != Load::Ok) return ERROR_ACCESS_DENIED;
    path = JoinPath(*parent, subKey != nullptr ? subKey : "");
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/,
                     DWORD /*options*/, REGSAM /*desired*/, const void* /*security*/, HKEY* result,
                     DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    Hive hive;
    std::string path;
    if (const LONG rc = OpenForFullAccess(key, subKey, hive, path); rc != ERROR_SUCCESS) return rc;
    bool created = false;
    // Creating a key creates the keys above it too.
    for (std::size_t slash = path.find('\\');; slash = path.find('\\', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (prefix != kMachineRoot && FindKey(hive, prefix) == nullptr) {
            hive.keys.push_back({prefix, {}});
            created = true;
        }
        if (slash == std::string::npos) break;
    }
    if (created && !SaveHive(hive, hive.damaged)) return ERROR_ACCESS_DENIED;
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM /*desired*/,
                   HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    Hive hive;
    std::string path;
    if (const LONG rc = OpenForFullAccess(key, subKey, hive, path); rc != ERROR_SUCCESS) return rc;
    if (path != kMachineRoot && FindKey(hive, path) == nullptr) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    const auto path = KeyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    Hive hive;
    if (ReadHive(hive) != Load::Ok) return ERROR_ACCESS_DENIED;
    RegKeyEntry* entry = FindKey(hive, *path);
    if (entry == nullptr) return ERROR_FILE_NOT_FOUND;
    const std::string_view name = valueName != nullptr ? valueName : "";
    auto it = std::find_if(entry->values.begin(), entry->values.end(),
                           [&](const RegValue& v) { return SameName(v.name, name); });
    if (it == entry->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = it->type;
    const auto size = static_cast<DWORD>(it->data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        std::copy(it->data.begin(), it->data.end(), data);
    }
    if (dataSize != nullptr) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type,
                    const BYTE* data, DWORD dataSize) {
    const auto path = KeyPath(key);
    if (!path || key == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
    if (data == nullptr && dataSize != 0) return ERROR_INVALID_PARAMETER;
    Hive hive;
    if (ReadHive(hive) != Load::Ok) return ERROR_ACCESS_DENIED;
    RegKeyEntry* entry = FindKey(hive, *path);
    if (entry == nullptr) {
        // The key went away since it was opened (another copy rewrote the hive): recreate it.
        hive.keys.push_back({*path, {}});
        entry = &hive.keys.back();
    }
    RegValue value;
    value.name = valueName != nullptr ? valueName : "";
    value.type = type;
    if (dataSize != 0) value.data.assign(data, data + dataSize);
    auto it = std::find_if(entry->values.begin(), entry->values.end(),
                           [&](const RegValue& v) { return SameName(v.name, value.name); });
    if (it != entry->values.end()) {
        *it = std::move(value);
    } else {
        entry->values.push_back(std::move(value));
    }
    return SaveHive(hive, hive.damaged) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
    return OpenKeys().erase(key) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace omblor::app
