#include "platform/registry/RegFileFormat.h"

#include "platform/registry/Registry.h"
#include "platform/text/Utf8.h"

#include <cstdio>
#include <optional>

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kWrapColumn = 76;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view trim(std::string_view s) {
    return trimRight(trimLeft(s));
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

/// 1 to maxDigits hexadecimal digits, the whole of s.
std::optional<std::uint32_t> parseHex(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) {
        return std::nullopt;
    }
    std::uint32_t n = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        n = (n << 4) | static_cast<std::uint32_t>(d);
    }
    return n;
}

/// What may follow a complete value: nothing but blanks and a comment.
bool onlyCommentLeft(std::string_view rest) {
    rest = trimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

/// Reads a quoted string at the start of s (which starts with '"'); s is advanced past it.
/// "\\" and "\"" are escapes; a backslash before anything else stands for itself, which is
/// what someone typing a path by hand means.
std::optional<std::string> takeQuoted(std::string_view& s) {
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;
}

std::string escapeQuoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

/// Splits text into lines; the last line may lack its line end; a CR before LF is dropped.
class LineReader {
public:
    explicit LineReader(std::string_view text)
        : m_text(text) {}

    bool Next(std::string_view& line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        const std::size_t end = m_text.find('\n', m_pos);
        const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
        line = m_text.substr(m_pos, stop - m_pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_pos = stop + 1;
        ++m_number;
        return true;
    }
    std::size_t Number() const { return m_number; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

class Parser {
public:
    Parser(std::string_view text, RegistryTree& tree, RegFileError& error)
        : m_lines(text)
        , m_tree(tree)
        , m_error(error)
        , m_budget(16 * text.size() + (1u << 20)) {}

    bool Run() {
        std::string_view line;
        bool header = false;
        while (m_lines.Next(line)) {
            const std::string_view t = trim(line);
            if (t.empty() || t.front() == ';') {
                continue;
            }
            if (!header) {
                if (t != kHeader5 && t != kHeader4) {
                    return fail("not a registry file: the first line must be \"" +
                                std::string(kHeader5) + "\"");
                }
                header = true;
                continue;
            }
            if (t.front() == '[') {
                if (!section(t)) {
                    return false;
                }
            } else if (t.front() == '"' || t.front() == '@') {
                if (!value(t)) {
                    return false;
                }
            } else {
                return fail("expected a [key] or a \"name\"=value line");
            }
        }
        return true;
    }

private:
    bool fail(std::string reason) {
        m_error.line = m_lines.Number();
        m_error.reason = std::move(reason);
        return false;
    }

    // Bounds the memory the tree takes to a multiple of the text's size: a short line naming a
    // deep path, or many tiny values, would otherwise cost far more than its bytes.
    bool charge(std::size_t bytes) {
        if (bytes > m_budget) {
            return fail("the file names more keys and values than a file of its size can hold");
        }
        m_budget -= bytes;
        return true;
    }

    bool setValue(const std::string& name, DWORD type, std::vector<std::uint8_t> bytes) {
        if (!charge(sizeof(RegistryTree::Value) + 64 + name.size() + bytes.size())) {
            return false;
        }
        m_current->SetValue(name, type, std::move(bytes));
        return true;
    }

    bool section(std::string_view t) {
        if (t.back() != ']') {
            return fail("a key line must end with ]");
        }
        std::string_view inner = t.substr(1, t.size() - 2);
        if (!inner.empty() && inner.front() == '-') {
            return fail("removing keys ([-...]) is not supported in this file");
        }
        std::vector<std::string> path;
        int root = -1;
        for (;;) {
            const std::size_t slash = inner.find('\\');
            const std::string_view name = inner.substr(0, slash);
            if (root < 0) {
                root = RegistryTree::RootIndex(name);
                if (root < 0) {
                    return fail("unknown root \"" + std::string(name) + "\"");
                }
            } else {
                if (name.empty()) {
                    return fail("empty key name");
                }
                if (name.size() > RegistryTree::kMaxKeyNameLength) {
                    return fail("key name longer than 255 bytes");
                }
                if (path.size() >= RegistryTree::kMaxDepth) {
                    return fail("keys nested deeper than 512");
                }
                path.emplace_back(name);
            }
            if (slash == std::string_view::npos) {
                break;
            }
            inner.remove_prefix(slash + 1);
        }
        RegistryTree::Key* key = &m_tree.Root(root);
        for (const std::string& name : path) {
            bool made = false;
            key = &key->AddSubkey(name, &made);
            if (made && !charge(sizeof(RegistryTree::Key) + 96 + 2 * name.size())) {
                return false;
            }
        }
        m_current = key;
        return true;
    }

    bool value(std::string_view t) {
        if (m_current == nullptr) {
            return fail("a value before the first [key] line");
        }
        std::string name;
        if (t.front() == '@') {
            t.remove_prefix(1);
        } else {
            auto quoted = takeQuoted(t);
            if (!quoted) {
                return fail("the value name has no closing quote");
            }
            name = std::move(*quoted);
        }
        t = trimLeft(t);
        if (t.empty() || t.front() != '=') {
            return fail("expected = after the value name");
        }
        t = trimLeft(t.substr(1));

        if (!t.empty() && t.front() == '"') {
            auto text = takeQuoted(t);
            if (!text || !onlyCommentLeft(t)) {
                return fail("the string value is not closed by a quote at the end of the line");
            }
            std::vector<std::uint8_t> bytes(text->begin(), text->end());
            bytes.push_back(0);
            return setValue(name, REG_SZ, std::move(bytes));
        }
        if (startsWithNoCase(t, "dword:")) {
            std::string_view digits = t.substr(6);
            const std::size_t comment = digits.find(';');
            digits = trim(digits.substr(0, comment));
            const auto n = parseHex(digits, 8);
            if (!n) {
                return fail("dword: needs 1 to 8 hexadecimal digits");
            }
            return setValue(name, REG_DWORD,
                            {static_cast<std::uint8_t>(*n), static_cast<std::uint8_t>(*n >> 8),
                             static_cast<std::uint8_t>(*n >> 16),
                             static_cast<std::uint8_t>(*n >> 24)});
        }
        if (startsWithNoCase(t, "hex")) {
            return hexValue(std::move(name), t.substr(3));
        }
        if (!t.empty() && t.front() == '-') {
            return fail("removing values (=-) is not supported in this file");
        }
        return fail("unknown value data: expected \"text\", dword:, hex: or hex(type):");
    }

    bool hexValue(std::string name, std::string_view t) {
        DWORD type = REG_BINARY;
        if (!t.empty() && t.front() == '(') {
            const std::size_t close = t.find(')');
            const auto n = close == std::string_view::npos
                               ? std::nullopt
                               : parseHex(trim(t.substr(1, close - 1)), 8);
            if (!n) {
                return fail("hex(type) needs a type of 1 to 8 hexadecimal digits");
            }
            type = *n;
            t.remove_prefix(close + 1);
        }
        if (t.empty() || t.front() != ':') {
            return fail("expected : after hex");
        }
        t.remove_prefix(1);

        std::vector<std::uint8_t> bytes;
        for (;;) {
            std::string_view part = trimRight(t);
            const bool more = !part.empty() && part.back() == '\\';
            if (more) {
                part.remove_suffix(1);
            } else {
                part = part.substr(0, part.find(';'));
            }
            if (!hexBytes(part, !more, bytes)) {
                return false;
            }
            if (!more) {
                break;
            }
            std::string_view next;
            if (!m_lines.Next(next)) {
                return fail("the hex list ends with \\ but the file ends");
            }
            t = next;
        }
        return setValue(name, type, std::move(bytes));
    }

    // One line's share of a hex list. Every byte is followed by a comma, except perhaps the
    // last one of the list.
    bool hexBytes(std::string_view part, bool last, std::vector<std::uint8_t>& bytes) {
        part = trim(part);
        while (!part.empty()) {
            const std::size_t comma = part.find(',');
            const std::string_view token = trim(part.substr(0, comma));
            const auto n = parseHex(token, 2);
            if (!n) {
                return fail("a hex list holds two-digit hexadecimal bytes separated by commas");
            }
            bytes.push_back(static_cast<std::uint8_t>(*n));
            if (comma == std::string_view::npos) {
                if (!last) {
                    return fail("a hex line continued with \\ must end with a comma");
                }
                break;
            }
            part = trimLeft(part.substr(comma + 1));
        }
        return true;
    }

    LineReader m_lines;
    RegistryTree& m_tree;
    RegFileError& m_error;
    RegistryTree::Key* m_current = nullptr;
    std::size_t m_budget;
};

void appendValue(const RegistryTree::Value& value, std::string& out) {
    std::string line = value.name.empty() ? std::string("@") : escapeQuoted(value.name);
    line += '=';
    if (value.type == REG_SZ && IsCleanRegString(value.data)) {
        line += escapeQuoted(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                              value.data.size() - 1));
        out += line;
        out += '\n';
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char digits[16];
        const std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        std::snprintf(digits, sizeof digits, "dword:%08x", n);
        out += line;
        out += digits;
        out += '\n';
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        line += prefix;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        line += kDigits[value.data[i] >> 4];
        line += kDigits[value.data[i] & 15];
        if (i + 1 < value.data.size()) {
            line += ',';
            if (line.size() >= kWrapColumn) {
                out += line;
                out += "\\\n";
                line = "  ";
            }
        }
    }
    out += line;
    out += '\n';
}

void appendKey(const RegistryTree::Key& key, int root, std::vector<std::string>& path,
               std::string& out) {
    const bool permanent = RegistryTree::IsPermanent(root, path);
    if (!key.Values().empty() || (!key.HasSubkeys() && !permanent)) {
        out += '[';
        out += RegistryTree::kRootNames[static_cast<std::size_t>(root)];
        for (const std::string& name : path) {
            out += '\\';
            out += name;
        }
        out += "]\n";
        for (const auto& value : key.Values()) {
            appendValue(value, out);
        }
        out += '\n';
    }
    key.ForEachSubkey([&](const RegistryTree::Key& sub) {
        path.push_back(sub.Name());
        appendKey(sub, root, path, out);
        path.pop_back();
    });
}

} // namespace

bool ParseRegFile(std::string_view text, RegistryTree& tree, RegFileError& error) {
    if (text.substr(0, kBom.size()) == kBom) {
        text.remove_prefix(kBom.size());
    }
    return Parser(text, tree, error).Run();
}

std::string FormatRegFile(const RegistryTree& tree) {
    std::string out(kHeader5);
    out += "\n\n";
    std::vector<std::string> path;
    for (int root = 0; root < RegistryTree::kRootCount; ++root) {
        appendKey(tree.Root(root), root, path, out);
    }
    return out;
}

bool IsCleanRegString(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || bytes.back() != 0) {
        return false;
    }
    const std::size_t n = bytes.size() - 1;
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] < 0x20 || bytes[i] == 0x7F) {
            return false;
        }
    }
    return IsValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), n));
}
