// The one-line text of a Java value that both runners write into the transcript.
#include "ObjectRenderer.h"

#include "CaseFile.h"

#include <algorithm>
#include <cstdio>

std::string ObjectRenderer::quote(const std::u16string& text)
{
    std::string out = "\"";
    for (char16_t c : text) {
        const char* escape = c == u'\\'   ? "\\\\"
                             : c == u'"'  ? "\\\""
                             : c == u'\n' ? "\\n"
                             : c == u'\t' ? "\\t"
                                          : nullptr;
        if (escape != nullptr) {
            out += escape;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

std::string ObjectRenderer::renderField(const HostField& field)
{
    if (field.type == 'I') {
        return std::to_string(field.i);
    }
    if (field.type == 'Z') {
        return field.z ? "true" : "false";
    }
    return render(field.l);
}

std::string ObjectRenderer::render(const HostObject* object)
{
    if (object == nullptr) {
        return "null";
    }
    const std::string& cls = object->cls->name;
    if (cls == "java/lang/String") {
        return quote(object->text);
    }
    if (cls == "[B") {
        return CaseFile::renderBytes(object->bytes);
    }
    if (cls == "[Z") {
        std::string out = "booleans[";
        for (std::size_t i = 0; i < object->bytes.size(); ++i) {
            out += (i > 0 ? "," : "") + std::string(object->bytes[i] != 0 ? "true" : "false");
        }
        return out + "]";
    }
    if (cls == "java/util/LinkedList") {
        std::vector<std::string> items;
        for (const HostObject* item : object->items) {
            items.push_back(render(item));
        }
        return CaseFile::renderList(items);
    }
    if (cls == "java/nio/ByteBuffer") {
        const bool filled =
            std::any_of(object->bytes.begin(), object->bytes.end(), [](unsigned char b) { return b != 0; });
        return std::string(object->direct ? "direct[" : "heap[") + std::to_string(object->bytes.size()) + "] " +
               (filled ? "filled" : "zero");
    }
    if (object->cls->isThrowable()) {
        return renderThrowable(object);
    }
    const std::string simple = cls.substr(cls.rfind('/') + 1);
    if (cls == "orvane/clapi/crypto/PKCS11TokenInfo" || cls == "orvane/clapi/crypto/PKCS11Object") {
        std::string out = simple + "(";
        for (std::size_t i = 0; i < object->fields.size(); ++i) {
            out += (i > 0 ? ", " : "") + renderField(object->fields[i]);
        }
        return out + ")";
    }
    return "object " + object->cls->javaName();
}

std::string ObjectRenderer::renderThrowable(const HostObject* throwable)
{
    return "throws " + throwable->cls->javaName() + " " + (throwable->hasText ? quote(throwable->text) : "null");
}
