// The stand-in's .reg parser under arbitrary files. Besides surviving, every
// accepted file must mean the same when written back out and parsed again
// (REGEDIT4 in ANSI, and 5.00 in UTF-16LE where the text allows it), and a
// file must mean the same in ANSI/UTF-8 as in UTF-16LE.
#include "tests/standin/RegFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

using orv::platform::Bytes;
using orv::platform::RegForest;
using orv::platform::RegKey;
using orv::platform::RegParseError;
using orv::platform::RegValue;

namespace {

[[noreturn]] void mismatch(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "regfile mismatch: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// ---- strict UTF-8 and UTF-16LE, written independently of the stand-in ----

// Decodes one code point; false for anything but well-formed UTF-8 (no
// overlong forms, no surrogates, nothing above U+10FFFF).
bool nextCodePoint(const std::string& s, std::size_t& i, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + extra >= s.size() && extra > 0) {
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            return false;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    i += extra + 1;
    return true;
}

bool toUtf16le(const std::string& s, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        if (!nextCodePoint(s, i, cp)) {
            return false;
        }
        auto unit = [&out](char32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>((u >> 8) & 0xFF);
        };
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return true;
}

bool isUtf8(const std::string& s)
{
    std::string ignored;
    return toUtf16le(s, ignored);
}

// ---- writing a forest back out ----

const char* const rootNames[] = {"HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                 "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

std::string rootName(std::uintptr_t handle)
{
    for (const char* name : rootNames) {
        if (orv::platform::rootKeyByName(name) == handle) {
            return name;
        }
    }
    mismatch("a root the parser cannot name", std::to_string(handle));
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string hexList(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i > 0) {
            // Long lists wrap the way regedit writes them.
            out += (i % 24 == 0) ? ",\\\r\n  " : ",";
        }
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

bool isStringType(std::uint32_t type)
{
    return type == 1 || type == 2 || type == 7;
}

struct Writer {
    bool unicode; // 5.00: string data travel as UTF-16LE
    std::string text;
    bool representable = true;

    void value(const RegValue& value)
    {
        std::string data(value.data.begin(), value.data.end());
        if (unicode && isStringType(value.type) && !toUtf16le(std::string(data), data)) {
            representable = false;
        }
        char kind[16];
        std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned int>(value.type));
        text += (value.name.empty() ? std::string("@") : quoted(value.name)) + "=" + kind + hexList(data) + "\r\n";
    }

    void key(const std::string& path, const RegKey& key)
    {
        text += "[" + path + "]\r\n";
        for (const RegValue& v : key.values) {
            value(v);
        }
        for (const auto& sub : key.subKeys) {
            this->key(path + "\\" + sub->name, *sub);
        }
    }

    void forest(const RegForest& forest)
    {
        text = unicode ? "Windows Registry Editor Version 5.00\r\n\r\n" : "REGEDIT4\r\n\r\n";
        for (const auto& root : forest.roots) {
            key(rootName(root.first), root.second);
        }
    }
};

// ---- comparing ----

std::string describe(const RegKey& key, const std::string& path)
{
    std::string out = "[" + path + "]\n";
    for (const RegValue& v : key.values) {
        out += "  " + quoted(v.name) + " type " + std::to_string(v.type) + " = " +
               hexList(std::string(v.data.begin(), v.data.end())) + "\n";
    }
    for (const auto& sub : key.subKeys) {
        out += describe(*sub, path + "\\" + sub->name);
    }
    return out;
}

std::string describe(const RegForest& forest)
{
    std::string out;
    for (const auto& root : forest.roots) {
        out += describe(root.second, std::to_string(root.first));
    }
    return out;
}

std::string folded(const std::string& name)
{
    std::string out = name;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// What a registry key is, whatever file built it: names unique within a key
// (ASCII case folded), sub-key names non-empty, without a backslash, at most 255 long.
void checkKey(const RegKey& key, const std::string& path)
{
    std::set<std::string> values;
    for (const RegValue& v : key.values) {
        if (!values.insert(folded(v.name)).second) {
            mismatch("two values of one name", path + ": " + quoted(v.name));
        }
    }
    std::set<std::string> subKeys;
    for (const auto& sub : key.subKeys) {
        const std::string& name = sub->name;
        if (name.empty() || name.size() > 255 || name.find('\\') != std::string::npos) {
            mismatch("a sub-key name no registry allows", path + ": " + quoted(name));
        }
        if (!subKeys.insert(folded(name)).second) {
            mismatch("two sub-keys of one name", path + ": " + quoted(name));
        }
        checkKey(*sub, path + "\\" + name);
    }
}

struct Outcome {
    bool accepted = false;
    RegForest forest;
    RegParseError error;

    std::string text() const { return accepted ? describe(forest) : "error: " + error.text(); }
};

Outcome parse(const std::string& content)
{
    Outcome outcome;
    outcome.accepted =
        orv::platform::applyRegFile(Bytes(content.begin(), content.end()), "fuzz.reg", outcome.forest, outcome.error);
    if (!outcome.accepted && (outcome.error.line < 1 || outcome.error.message.empty())) {
        mismatch("a refusal without line or message", outcome.error.text());
    }
    for (const auto& root : outcome.forest.roots) {
        checkKey(root.second, rootName(root.first));
    }
    return outcome;
}

void expectSame(const char* what, const Outcome& a, const Outcome& b)
{
    const std::string ta = a.text();
    const std::string tb = b.text();
    if (ta != tb) {
        mismatch(what, ta + "\n---- versus ----\n" + tb);
    }
}

std::string utf16File(const std::string& text)
{
    std::string units;
    if (!toUtf16le(text, units)) {
        mismatch("writer produced text that is not UTF-8", text);
    }
    return std::string("\xFF\xFE", 2) + units;
}

void checkWrittenBack(const Outcome& original)
{
    Writer ansi{false, {}};
    ansi.forest(original.forest);
    expectSame("REGEDIT4 written back", original, parse(ansi.text));

    Writer unicode{true, {}};
    unicode.forest(original.forest);
    if (unicode.representable && isUtf8(unicode.text)) {
        expectSame("5.00 UTF-16LE written back", original, parse(utf16File(unicode.text)));
    }
}

bool looksUtf16(const std::string& content)
{
    return content.size() >= 2 &&
           ((content[0] == '\xFF' && content[1] == '\xFE') || (content[0] != '\0' && content[1] == '\0'));
}

bool hasUtf8Bom(const std::string& s)
{
    return s.compare(0, 3, "\xEF\xBB\xBF") == 0;
}

// The same text as ANSI/UTF-8 bytes and as UTF-16LE must give the same result.
void checkEncodings(const std::string& content, const Outcome& original)
{
    if (!looksUtf16(content)) {
        const std::string text = hasUtf8Bom(content) ? content.substr(3) : content;
        if (!hasUtf8Bom(text) && isUtf8(text)) {
            expectSame("ANSI file versus its UTF-16LE form", original, parse(utf16File(text)));
        }
        return;
    }
    const bool bom = content[0] == '\xFF' && content[1] == '\xFE';
    const std::string units = content.substr(bom ? 2 : 0);
    if (units.size() % 2 != 0) {
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < units.size(); i += 2) {
        // Only BMP text without surrogates; enough to compare the two paths.
        const unsigned unit = static_cast<unsigned char>(units[i]) | (static_cast<unsigned char>(units[i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            return;
        }
        const unsigned size = unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        text += static_cast<char>(size == 1 ? unit : (size == 2 ? 0xC0 : 0xE0) | (unit >> (6 * (size - 1))));
        for (unsigned k = 1; k < size; ++k) {
            text += static_cast<char>(0x80 | ((unit >> (6 * (size - 1 - k))) & 0x3F));
        }
    }
    if (looksUtf16(text) || hasUtf8Bom(text)) {
        return;
    }
    expectSame("UTF-16LE file versus its UTF-8 form", original, parse(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    const Outcome original = parse(content);
    checkEncodings(content, original);
    if (original.accepted) {
        checkWrittenBack(original);
    }
    return 0;
}
