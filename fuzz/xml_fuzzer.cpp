// Reads arbitrary bytes as a document. Whatever reads must write and read back to the same elements
// and attributes, and a second write of that must not grow.
#include "model/xml.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using kelmora::model::IsBlank;
using kelmora::model::Trim;
using kelmora::model::XmlDocument;
using kelmora::model::XmlNode;

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Parent, document and attribute owner pointers must describe the tree they sit in.
void CheckLinks(const XmlNode& node, const XmlDocument& document)
{
    Check(node.document == &document);
    for (const auto& attribute : node.attributes) {
        Check(attribute->parent == &node);
    }
    for (const auto& child : node.children) {
        Check(child->parent == &node);
        CheckLinks(*child, document);
    }
}

// Whether some element holds both children and text; its text moves behind the children when written,
// so only such documents may change on a second write.
bool HasMixedContent(const XmlNode& node)
{
    if (node.type == kelmora::model::kXmlElement && !node.children.empty() && !IsBlank(node.value)) {
        return true;
    }
    return std::any_of(node.children.begin(), node.children.end(),
                       [](const auto& child) { return HasMixedContent(*child); });
}

bool StartsWithNoCase(std::string_view text, std::string_view mark)
{
    return text.size() >= mark.size() && std::equal(mark.begin(), mark.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// Names are never escaped, and two kinds of element name cannot be written so that they read back:
// - text that is not "<" after a comment before the root makes the root's name start one character on,
//   so the root can get a name that reads back as an instruction, comment or character data;
// - a name that starts with a vertical tab or form feed loses it in the closing tag, where white space
//   after "</" is skipped; that matters only for an element that needs a closing tag;
// - an instruction's attribute name can hold an escaped "?>", which ends the instruction when written.
// Such names come only from damaged files. Every other document must survive a write.
bool NamesWritable(const XmlNode& node)
{
    const std::string_view name = node.name;
    if (node.type == kelmora::model::kXmlElement) {
        if (node.parent != nullptr && node.parent->type == kelmora::model::kXmlDocument &&
            (name.starts_with("?") || name.starts_with("!--") || StartsWithNoCase(name, "![CDATA["))) {
            return false;
        }
        if ((!node.children.empty() || !node.value.empty()) && !name.empty() &&
            kelmora::model::IsXmlSpace(name.front())) {
            return false;
        }
    }
    if (node.type == kelmora::model::kXmlProcessingInstruction &&
        std::any_of(node.attributes.begin(), node.attributes.end(),
                    [](const auto& attribute) { return attribute->name.find("?>") != std::string::npos; })) {
        return false;
    }
    return std::all_of(node.children.begin(), node.children.end(),
                       [](const auto& child) { return NamesWritable(*child); });
}

void CheckSame(const XmlNode& a, const XmlNode& b)
{
    Check(a.type == b.type);
    Check(a.name == b.name);
    Check(a.attributes.size() == b.attributes.size());
    for (std::size_t i = 0; i < a.attributes.size(); ++i) {
        Check(a.attributes[i]->name == b.attributes[i]->name);
        Check(a.attributes[i]->value == b.attributes[i]->value);
    }
    Check(a.children.size() == b.children.size());
    if (a.type == kelmora::model::kXmlElement && !a.children.empty()) {
        // The layout's line breaks surround the text of an element with children.
        Check(IsBlank(a.value) ? IsBlank(b.value) : Trim(a.value) == Trim(b.value));
    } else {
        Check(a.value == b.value);
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        CheckSame(*a.children[i], *b.children[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    XmlDocument document;
    const auto end = document.Load(input);
    const auto& state = document.parseState;
    Check(state.errorCode >= 0 && state.errorCode <= kelmora::model::kXmlErrorTooDeep);
    Check(state.errorOccurred == (state.errorCode != 0));
    if (!end) {
        Check(document.GetRoot() == nullptr);
        return 0;
    }
    Check(*end <= size);
    Check(document.GetRoot() != nullptr);
    CheckLinks(document, document);
    if (!NamesWritable(document)) {
        return 0;
    }

    const std::string written = document.GetXml();
    XmlDocument reread;
    Check(reread.Load(written).has_value());
    CheckLinks(reread, reread);
    CheckSame(document, reread);

    const std::string rewritten = reread.GetXml();
    if (!HasMixedContent(document)) {
        Check(rewritten == written);
    }
    return 0;
}
