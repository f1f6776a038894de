// Reads a case file: one statement per line, comments and names.
#include "CaseFile.h"

#include "Sha1.h"

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Position of the first " => " outside a quoted string, or npos.
std::size_t arrowAt(const std::string& s)
{
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (quoted && s[i] == '\\') {
            ++i;
        } else if (s[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && s.compare(i, 4, " => ") == 0) {
            return i;
        }
    }
    return std::string::npos;
}

[[noreturn]] void fail(int line, const std::string& what)
{
    throw std::runtime_error("case file line " + std::to_string(line) + ": " + what);
}

} // namespace

CaseFile::CaseFile(const std::string& path, const std::string& platform, const std::map<std::string, std::string>& vars,
                   const std::string& materialDir)
    : platform_(platform), vars_(vars), materialDir_(materialDir)
{
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::string raw;
    int number = 0;
    bool lastApplies = false;
    while (std::getline(in, raw)) {
        ++number;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::string platforms;
        if (line[0] == '[') {
            const auto close = line.find(']');
            if (close == std::string::npos) {
                fail(number, "unclosed platform list");
            }
            platforms = line.substr(1, close - 1);
            line = trim(line.substr(close + 1));
        }
        const bool applies = appliesHere(platforms);
        if (line.compare(0, 3, "=> ") == 0) {
            if (statements_.empty() || !statements_.back().hasExpectation) {
                fail(number, "an override follows no statement with an expectation");
            }
            if (applies && lastApplies) {
                statements_.back().expected = substitute(line.substr(3), number);
            }
            continue;
        }
        if (line.compare(0, 6, "cover ") == 0) {
            const std::vector<std::string> words = tokenize(line.substr(6));
            if (words.size() != 2 || (words[1] != "any" && words[1] != "failure")) {
                fail(number, "cover Class.method any|failure");
            }
            if (applies) {
                coverage_[words[0]] = words[1];
            }
            lastApplies = false;
            continue;
        }
        lastApplies = applies;
        if (!applies) {
            continue;
        }
        CaseStatement statement;
        statement.line = number;
        const std::size_t arrow = arrowAt(line);
        statement.text = substitute(trim(line.substr(0, arrow)), number);
        if (arrow != std::string::npos) {
            statement.hasExpectation = true;
            statement.expected = substitute(line.substr(arrow + 4), number);
        }
        statement.tokens = tokenize(statement.text);
        statements_.push_back(statement);
    }
}

bool CaseFile::appliesHere(const std::string& platforms) const
{
    if (platforms.empty()) {
        return true;
    }
    std::stringstream list(platforms);
    std::string name;
    while (std::getline(list, name, ',')) {
        name = trim(name);
        if (name == platform_ || (name == "wine" && (platform_ == "win32" || platform_ == "win64"))) {
            return true;
        }
    }
    return false;
}

std::string CaseFile::substitute(const std::string& text, int line) const
{
    std::string out;
    std::size_t at = 0;
    while (true) {
        const std::size_t open = text.find("${", at);
        if (open == std::string::npos) {
            return out + text.substr(at);
        }
        const std::size_t close = text.find('}', open);
        if (close == std::string::npos) {
            fail(line, "unclosed ${");
        }
        out += text.substr(at, open - at);
        const std::string name = text.substr(open + 2, close - open - 2);
        if (name.compare(0, 6, "bytes:") == 0) {
            out += renderBytes(readFile(materialDir_ + "/" + name.substr(6)));
        } else if (name.compare(0, 5, "list:") == 0) {
            out += renderList(renderFiles(name.substr(5)));
        } else if (name.compare(0, 4, "hex:") == 0) {
            out += hex(readFile(materialDir_ + "/" + name.substr(4)));
        } else {
            auto it = vars_.find(name);
            if (it == vars_.end()) {
                fail(line, "no variable " + name);
            }
            out += it->second;
        }
        at = close + 1;
    }
}

std::vector<std::string> CaseFile::renderFiles(const std::string& prefix) const
{
    std::vector<std::string> rendered;
    for (const auto& entry : std::filesystem::directory_iterator(materialDir_)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) {
            rendered.push_back(renderBytes(readFile(entry.path().string())));
        }
    }
    return rendered;
}

std::vector<std::string> CaseFile::tokenize(const std::string& text)
{
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        std::string token;
        bool quoted = false;
        while (i < text.size() && (quoted || (text[i] != ' ' && text[i] != '\t'))) {
            if (quoted && text[i] == '\\' && i + 1 < text.size()) {
                token += text[i++];
            } else if (text[i] == '"') {
                quoted = !quoted;
            }
            token += text[i++];
        }
        tokens.push_back(token);
    }
    return tokens;
}

std::u16string CaseFile::unquote(const std::string& token)
{
    const std::size_t open = token.find('"');
    if (open == std::string::npos || token.size() < open + 2 || token.back() != '"') {
        throw std::runtime_error("not a quoted string: " + token);
    }
    std::u16string out;
    for (std::size_t i = open + 1; i + 1 < token.size(); ++i) {
        const char c = token[i];
        if (c != '\\') {
            out += static_cast<char16_t>(static_cast<unsigned char>(c));
            continue;
        }
        const char e = token[++i];
        if (e == 'n') {
            out += u'\n';
        } else if (e == 't') {
            out += u'\t';
        } else if (e == 'u') {
            out += static_cast<char16_t>(std::stoul(token.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else {
            out += static_cast<char16_t>(e);
        }
    }
    return out;
}

std::vector<unsigned char> CaseFile::readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CaseFile::hex(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Up to 64 bytes in full, longer arrays by their SHA-1.
std::string CaseFile::renderBytes(const std::vector<unsigned char>& bytes)
{
    std::string out = "bytes[" + std::to_string(bytes.size()) + "]";
    if (bytes.size() > 64) {
        out += " sha1 " + Sha1::hex(bytes);
    } else if (!bytes.empty()) {
        out += " " + hex(bytes);
    }
    return out;
}

std::string CaseFile::renderList(std::vector<std::string> items)
{
    std::sort(items.begin(), items.end());
    std::string out = "list[" + std::to_string(items.size()) + "]";
    for (const std::string& item : items) {
        out += " " + item;
    }
    return out;
}

bool CaseFile::matches(const std::string& expected, const std::string& actual)
{
    static const std::string wildcard = "{hex}";
    std::size_t e = 0;
    std::size_t a = 0;
    while (true) {
        const std::size_t next = expected.find(wildcard, e);
        const std::string piece = expected.substr(e, next == std::string::npos ? std::string::npos : next - e);
        if (actual.compare(a, piece.size(), piece) != 0) {
            return false;
        }
        a += piece.size();
        if (next == std::string::npos) {
            return a == actual.size();
        }
        const std::size_t start = a;
        while (a < actual.size() && std::isxdigit(static_cast<unsigned char>(actual[a])) &&
               !std::isupper(static_cast<unsigned char>(actual[a]))) {
            ++a;
        }
        if (a == start) {
            return false;
        }
        e = next + wildcard.size();
    }
}
