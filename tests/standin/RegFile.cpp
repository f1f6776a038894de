// Reading regedit's .reg export format into a key tree.
#include "tests/standin/RegFile.h"

#include <cctype>

namespace orv::platform {

// ---- key tree -----------------------------------------------------------

RegKey* RegKey::findSubKey(const std::string& keyName) const
{
    for (const auto& key : subKeys) {
        if (equalsIgnoreCase(key->name, keyName)) {
            return key.get();
        }
    }
    return nullptr;
}

RegKey& RegKey::subKey(const std::string& keyName)
{
    if (RegKey* existing = findSubKey(keyName)) {
        return *existing;
    }
    subKeys.push_back(std::make_unique<RegKey>());
    subKeys.back()->name = keyName;
    return *subKeys.back();
}

const RegValue* RegKey::findValue(const std::string& valueName) const
{
    for (const RegValue& value : values) {
        if (equalsIgnoreCase(value.name, valueName)) {
            return &value;
        }
    }
    return nullptr;
}

void RegKey::setValue(RegValue value)
{
    for (RegValue& existing : values) {
        if (equalsIgnoreCase(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    values.push_back(std::move(value));
}

void RegKey::deleteValue(const std::string& valueName)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (equalsIgnoreCase(it->name, valueName)) {
            values.erase(it);
            return;
        }
    }
}

void RegKey::deleteSubKey(const std::string& keyName)
{
    for (auto it = subKeys.begin(); it != subKeys.end(); ++it) {
        if (equalsIgnoreCase((*it)->name, keyName)) {
            subKeys.erase(it);
            return;
        }
    }
}

std::uintptr_t rootKeyByName(const std::string& name)
{
    static const struct {
        const char* longName;
        const char* shortName;
        HKEY key;
    } kRoots[] = {
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", "HKU", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", nullptr, HKEY_PERFORMANCE_DATA},
        {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
        {"HKEY_DYN_DATA", nullptr, HKEY_DYN_DATA},
    };
    for (const auto& root : kRoots) {
        if (equalsIgnoreCase(name, root.longName) ||
            (root.shortName != nullptr && equalsIgnoreCase(name, root.shortName))) {
            return reinterpret_cast<std::uintptr_t>(root.key);
        }
    }
    return 0;
}

// ---- parser -------------------------------------------------------------

namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";
constexpr std::size_t kMaxKeyNameLength = 255;

struct LogicalLine {
    int number;
    std::string text;
};

std::string trim(const std::string& s)
{
    std::size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) {
        --end;
    }
    return s.substr(begin, end - begin);
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

class Parser {
public:
    Parser(const std::string& fileName, RegForest& forest, RegParseError& error)
        : fileName_(fileName), forest_(forest), error_(error)
    {
    }

    bool parse(const Bytes& content);

private:
    bool decode(const Bytes& content, std::string& text);
    std::vector<LogicalLine> logicalLines(const std::string& text) const;
    bool parseLine(const LogicalLine& line);
    bool parseKeyLine(const std::string& text);
    bool parseValueLine(const std::string& text);
    bool parseQuoted(const std::string& text, std::size_t& pos, std::string& out);
    bool parseData(const std::string& text, RegValue& value, bool& deleteValue);
    bool parseHexBytes(const std::string& list, Bytes& out);
    bool resolveKeyPath(const std::string& path, bool create, RegKey*& parent, RegKey*& key, std::string& lastName);
    bool failAt(int line, const std::string& message)
    {
        error_ = {fileName_, line, message};
        return false;
    }
    bool failHere(const std::string& message) { return failAt(lineNumber_, message); }

    std::string fileName_;
    RegForest& forest_;
    RegParseError& error_;
    bool unicodeFormat_ = false;
    RegKey* current_ = nullptr;
    int lineNumber_ = 0;
};

bool Parser::decode(const Bytes& content, std::string& text)
{
    bool bom16 = content.size() >= 2 && content[0] == 0xFF && content[1] == 0xFE;
    bool bare16 = !bom16 && content.size() >= 2 && content[0] != 0 && content[1] == 0;
    if (bom16 || bare16) {
        std::size_t skip = bom16 ? 2 : 0;
        if (!utf16leToUtf8(content.data() + skip, content.size() - skip, text)) {
            return failAt(1, "the file is not valid UTF-16LE text");
        }
        return true;
    }
    std::size_t skip = (content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF) ? 3 : 0;
    text.assign(content.begin() + static_cast<long>(skip), content.end());
    return true;
}

std::vector<LogicalLine> Parser::logicalLines(const std::string& text) const
{
    std::vector<LogicalLine> lines;
    int number = 0;
    bool continuing = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string physical = text.substr(pos, end - pos);
        if (!physical.empty() && physical.back() == '\r') {
            physical.pop_back();
        }
        ++number;
        pos = end + 1;

        std::string piece = continuing ? trim(physical) : physical;
        if (continuing) {
            lines.back().text += piece;
        } else {
            lines.push_back({number, piece});
        }

        std::string& joined = lines.back().text;
        std::string trimmed = trim(joined);
        // A trailing backslash continues hex data on the next line.
        continuing = !trimmed.empty() && trimmed.back() == '\\' && trimmed[0] != ';' && trimmed[0] != '[';
        if (continuing) {
            joined = trimmed.substr(0, trimmed.size() - 1);
        }
        if (end == text.size()) {
            break;
        }
    }
    return lines;
}

bool Parser::parse(const Bytes& content)
{
    std::string text;
    if (!decode(content, text)) {
        return false;
    }
    std::vector<LogicalLine> lines = logicalLines(text);

    std::size_t first = 0;
    while (first < lines.size() && trim(lines[first].text).empty()) {
        ++first;
    }
    std::string header = first < lines.size() ? trim(lines[first].text) : "";
    if (header == kHeader5) {
        unicodeFormat_ = true;
    } else if (header != kHeader4) {
        return failAt(first < lines.size() ? lines[first].number : 1,
                      std::string("expected the header \"") + kHeader5 + "\" or \"" + kHeader4 + "\"");
    }
    for (std::size_t i = first + 1; i < lines.size(); ++i) {
        if (!parseLine(lines[i])) {
            return false;
        }
    }
    return true;
}

bool Parser::parseLine(const LogicalLine& line)
{
    lineNumber_ = line.number;
    std::string text = trim(line.text);
    if (text.empty() || text[0] == ';') {
        return true;
    }
    if (text[0] == '[') {
        return parseKeyLine(text);
    }
    if (text[0] == '"' || text[0] == '@') {
        return parseValueLine(text);
    }
    return failHere("expected a [key] line, a value line or a comment, found '" + text.substr(0, 40) + "'");
}

bool Parser::resolveKeyPath(const std::string& path, bool create, RegKey*& parent, RegKey*& key, std::string& lastName)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (true) {
        std::size_t next = path.find('\\', pos);
        parts.push_back(path.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) {
            break;
        }
        pos = next + 1;
    }
    std::uintptr_t root = rootKeyByName(parts[0]);
    if (root == 0) {
        return failHere("unknown root key '" + parts[0] + "'");
    }
    parent = nullptr;
    key = &forest_.roots[root];
    lastName = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty()) {
            return failHere("empty key name in '" + path + "'");
        }
        if (parts[i].size() > kMaxKeyNameLength) {
            return failHere("key name longer than 255 characters in '" + path + "'");
        }
        parent = key;
        lastName = parts[i];
        key = key ? (create ? &key->subKey(parts[i]) : key->findSubKey(parts[i])) : nullptr;
    }
    return true;
}

bool Parser::parseKeyLine(const std::string& text)
{
    if (text.back() != ']') {
        return failHere("key line without closing ']'");
    }
    std::string path = text.substr(1, text.size() - 2);
    bool deletion = !path.empty() && path[0] == '-';
    if (deletion) {
        path.erase(0, 1);
    }
    if (path.empty()) {
        return failHere("empty key path");
    }
    RegKey *parent = nullptr, *key = nullptr;
    std::string lastName;
    if (!resolveKeyPath(path, !deletion, parent, key, lastName)) {
        return false;
    }
    if (deletion) {
        if (parent != nullptr && key != nullptr) {
            parent->deleteSubKey(lastName);
        }
        current_ = nullptr;
    } else {
        current_ = key;
    }
    return true;
}

bool Parser::parseQuoted(const std::string& text, std::size_t& pos, std::string& out)
{
    // pos is at the opening quote; regedit escapes only '\' and '"'.
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= text.size()) {
                break;
            }
            char escaped = text[++pos];
            if (escaped != '\\' && escaped != '"') {
                return failHere(std::string("unknown escape '\\") + escaped + "' in a string");
            }
            out += escaped;
        } else {
            out += c;
        }
    }
    return failHere("string without closing '\"'");
}

bool Parser::parseHexBytes(const std::string& list, Bytes& out)
{
    out.clear();
    if (trim(list).empty()) {
        return true;
    }
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string token = trim(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        bool valid = !token.empty() && token.size() <= 2 && std::isxdigit(static_cast<unsigned char>(token[0])) &&
                     (token.size() == 1 || std::isxdigit(static_cast<unsigned char>(token[1])));
        if (!valid) {
            return failHere("bad hex byte '" + token + "'");
        }
        out.push_back(static_cast<BYTE>(std::stoul(token, nullptr, 16)));
        if (comma == std::string::npos) {
            break;
        }
        pos = comma + 1;
    }
    return true;
}

bool Parser::parseData(const std::string& text, RegValue& value, bool& deleteValue)
{
    deleteValue = false;
    if (text == "-") {
        deleteValue = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        std::string s;
        if (!parseQuoted(text, pos, s)) {
            return false;
        }
        if (!trim(text.substr(pos)).empty()) {
            return failHere("unexpected text after a string value");
        }
        value.type = REG_SZ;
        value.data.assign(s.begin(), s.end());
        value.data.push_back(0);
        return true;
    }
    if (startsWith(text, "dword:")) {
        std::string digits = trim(text.substr(6));
        bool valid = !digits.empty() && digits.size() <= 8;
        for (char c : digits) {
            valid = valid && std::isxdigit(static_cast<unsigned char>(c));
        }
        if (!valid) {
            return failHere("bad dword value '" + digits + "'");
        }
        auto number = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = REG_DWORD;
        value.data = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
        return true;
    }
    if (!startsWith(text, "hex")) {
        return failHere("unknown value data '" + text.substr(0, 40) + "'");
    }
    std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return failHere("hex data without ':'");
    }
    std::string kind = text.substr(3, colon - 3);
    value.type = REG_BINARY;
    if (!kind.empty()) {
        bool valid = kind.size() > 2 && kind.front() == '(' && kind.back() == ')' && kind.size() <= 10;
        for (std::size_t i = 1; valid && i + 1 < kind.size(); ++i) {
            valid = std::isxdigit(static_cast<unsigned char>(kind[i])) != 0;
        }
        if (!valid) {
            return failHere("bad value type '" + kind + "'");
        }
        value.type = static_cast<DWORD>(std::stoul(kind.substr(1, kind.size() - 2), nullptr, 16));
    }
    if (!parseHexBytes(text.substr(colon + 1), value.data)) {
        return false;
    }
    bool stringType = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (unicodeFormat_ && stringType) {
        // 5.00 files carry string data as UTF-16LE; the A functions return it narrow.
        std::string narrow;
        if (!utf16leToUtf8(value.data.data(), value.data.size(), narrow)) {
            return failHere("string data are not valid UTF-16LE");
        }
        value.data.assign(narrow.begin(), narrow.end());
    }
    return true;
}

bool Parser::parseValueLine(const std::string& text)
{
    if (current_ == nullptr) {
        return failHere("value line outside of a key");
    }
    std::size_t pos = 0;
    RegValue value;
    if (text[0] == '@') {
        pos = 1;
    } else if (!parseQuoted(text, pos, value.name)) {
        return false;
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    if (pos >= text.size() || text[pos] != '=') {
        return failHere("expected '=' after the value name");
    }
    bool deleteValue = false;
    if (!parseData(trim(text.substr(pos + 1)), value, deleteValue)) {
        return false;
    }
    if (deleteValue) {
        current_->deleteValue(value.name);
    } else {
        current_->setValue(std::move(value));
    }
    return true;
}

} // namespace

bool applyRegFile(const Bytes& content, const std::string& fileName, RegForest& forest, RegParseError& error)
{
    return Parser(fileName, forest, error).parse(content);
}

} // namespace orv::platform
