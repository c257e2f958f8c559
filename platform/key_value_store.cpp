#include "platform/key_value_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace vorlanx {
namespace {

std::string escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '=':
                out += "\\e";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        switch (s[++i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 'e':
                out += '=';
                break;
            default:
                out += s[i];
        }
    }
    return out;
}

std::optional<KeyValueStore::Values> parse(std::istream& in) {
    KeyValueStore::Values values;
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;  // not ours: skip rather than fail the key
        values[unescape(line.substr(0, eq))] = unescape(line.substr(eq + 1));
    }
    return values;
}

}  // namespace

FileKeyValueStore::FileKeyValueStore(std::string root) : m_root(std::move(root)) {}

std::string FileKeyValueStore::defaultRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/Brindlecraft";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/Brindlecraft";
}

std::string FileKeyValueStore::keyFilePath(const std::string& key) const {
    // "SOFTWARE\Brindlecraft\VORLANX" -> <root>/SOFTWARE/Brindlecraft/VORLANX.values
    std::string rel;
    for (char c : key)
        rel += (c == '\\') ? '/' : c;
    return m_root + "/" + rel + ".values";
}

std::optional<KeyValueStore::Values> FileKeyValueStore::readKey(const std::string& key) const {
    std::ifstream in(keyFilePath(key), std::ios::binary);
    if (!in)
        return std::nullopt;
    return parse(in);
}

bool FileKeyValueStore::writeValue(const std::string& key, const std::string& name,
                                   const std::string& value) {
    Values values = readKey(key).value_or(Values{});
    values[name] = value;
    const std::filesystem::path path = keyFilePath(key);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    // Write beside and rename, so a failed write leaves the old values intact.
    const std::filesystem::path tmp = path.string() + ".new";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        for (const auto& [n, v] : values)
            out << escape(n) << '=' << escape(v) << '\n';
        out.flush();
        if (!out) {
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec)
        std::filesystem::remove(tmp, ec);
    return !ec;
}

bool FileKeyValueStore::removeKey(const std::string& key) {
    std::error_code ec;
    const std::filesystem::path path = keyFilePath(key);
    std::filesystem::remove(path, ec);
    const bool gone = !std::filesystem::exists(path, ec);
    // Folders the key leaves empty go too, up to and including the root: remove() takes
    // only an empty folder, and the first that is not ends the walk.
    // A key naming ".." never takes a folder outside the root.
    const std::filesystem::path root = std::filesystem::path(m_root + "/").lexically_normal();
    for (auto folder = path.parent_path().lexically_normal(); folder.has_relative_path();
         folder = folder.parent_path()) {
        const auto inside = folder.lexically_relative(root.parent_path());
        if (inside.empty() || *inside.begin() == ".." || !std::filesystem::remove(folder, ec))
            break;
    }
    return gone;
}

std::optional<KeyValueStore::Values> MemoryKeyValueStore::readKey(const std::string& key) const {
    auto it = m_keys.find(key);
    if (it == m_keys.end())
        return std::nullopt;
    return it->second;
}

bool MemoryKeyValueStore::writeValue(const std::string& key, const std::string& name,
                                     const std::string& value) {
    m_keys[key][name] = value;
    return true;
}

bool MemoryKeyValueStore::removeKey(const std::string& key) {
    m_keys.erase(key);
    return true;
}

}  // namespace vorlanx
