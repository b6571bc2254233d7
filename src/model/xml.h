#pragma once

#include "atomicfile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelmora::model {

// Node types. The numbers are part of the model: a child element takes over its parent's type.
inline constexpr std::int32_t kXmlElement = 0;
inline constexpr std::int32_t kXmlProcessingInstruction = 1;
inline constexpr std::int32_t kXmlComment = 2;
inline constexpr std::int32_t kXmlCharacterData = 3;
inline constexpr std::int32_t kXmlDocument = 4;

// Fixed names of comment and character-data nodes.
inline constexpr std::string_view kXmlCommentName = "#COMMENT";
inline constexpr std::string_view kXmlCharacterDataName = "#CDATA";

// The reader's default escape character, which the writer also uses so that values survive a save.
inline constexpr char kXmlEscapeChar = '\\';

// Deepest element nesting the reader accepts. Our files nest four levels; the limit only keeps a
// damaged or hostile file from exhausting the stack.
inline constexpr int kXmlMaxDepth = 64;

// Error codes recorded in XmlParseState.
inline constexpr std::int32_t kXmlErrorNotClosed = 1;
inline constexpr std::int32_t kXmlErrorNoClosingTag = 2;
inline constexpr std::int32_t kXmlErrorTagMismatch = 3;
inline constexpr std::int32_t kXmlErrorAttribute = 4;
inline constexpr std::int32_t kXmlErrorTooDeep = 5;

// The characters the C library's isspace accepts in the "C" locale. Spelled out so that the result never
// depends on the user's locale and bytes above 127 are never passed to isspace.
bool IsXmlSpace(char c);
// Whether `text` is only such characters, and `text` without them at either end.
bool IsBlank(std::string_view text);
std::string_view Trim(std::string_view text);

// The one reference the files use: it stands for a zero character, which ends a stored value. Standard
// references such as "&amp;" are deliberately not decoded, so they stay in values exactly as written.
inline constexpr std::string_view kXmlZeroReference = "&#000;";

// Reader settings and the record of the first error of a load. The defaults are what every load uses.
struct XmlParseState
{
    // A zero escape character turns escaping off (a loaded text never holds a zero byte).
    char escapeChar = kXmlEscapeChar;
    bool errorOccurred = false;
    // Byte offset into the loaded text.
    std::optional<std::size_t> errorPosition;
    std::int32_t errorCode = 0;
    std::string errorText;
};

// Writer settings. A default-constructed instance holds the values every write of the program uses.
// The writer never changes it, so one instance can serve any number of writes.
struct XmlWriteOptions
{
    bool newline = true;
    char quoteChar = '"';
    // Tabs before the first node written.
    std::int32_t indentLevel = 0;
};

class XmlNode;
class XmlDocument;

class XmlAttribute
{
public:
    std::string name;
    std::string value;
    XmlNode* parent = nullptr;
};

// A node of the tree. A node owns its children and attributes; destroying it destroys its subtree.
// Names and values are bytes as they stand in the file; nothing checks them, and duplicate attribute
// names are kept in the order they come.
class XmlNode
{
public:
    XmlNode() = default;
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;
    virtual ~XmlNode() = default;

    std::int32_t GetChildCount() const { return static_cast<std::int32_t>(children.size()); }
    // Nullptr for a negative index or one >= GetChildCount().
    XmlNode* GetChild(std::int32_t index);
    const XmlNode* GetChild(std::int32_t index) const;
    // The first child, of any type, with exactly this name (case-sensitive).
    XmlNode* FindChild(std::string_view childName);
    const XmlNode* FindChild(std::string_view childName) const;
    std::optional<std::string> GetChildValue(std::string_view childName) const;
    XmlAttribute* FindAttr(std::string_view attrName);
    const XmlAttribute* FindAttr(std::string_view attrName) const;
    std::optional<std::string> GetAttrValue(std::string_view attrName) const;

    // Appends an element of this node's document.
    XmlNode& AppendChild(std::string_view childName, std::string_view childValue = {});
    // Destroys `child` with its subtree. False, and no change, when it is not a child of this node.
    bool RemoveChild(const XmlNode* child);
    // Appends even when an attribute of that name exists.
    XmlAttribute& AppendAttr(std::string_view attrName, std::string_view attrValue);
    // Destroys all children and attributes; name and value stay.
    void Close();

    // The node as text: every node on its own line, indented by tabs, CR LF line breaks.
    std::string GetXml(const XmlWriteOptions& options = {}) const;

    std::string name;
    std::string value;
    XmlNode* parent = nullptr;
    std::vector<std::unique_ptr<XmlNode>> children;
    std::vector<std::unique_ptr<XmlAttribute>> attributes;
    std::int32_t type = kXmlElement;
    XmlDocument* document = nullptr;
};

// A document is read whole, used, written whole and thrown away; nothing keeps one between operations.
// Its children are the root element and the processing instructions, comments and character-data
// sections around it.
class XmlDocument final : public XmlNode
{
public:
    XmlDocument();

    // Builds the tree from `text`, which ends at its first zero byte. Returns the offset after the parsed
    // part, or nullopt when the text is not a document; then there is no root and `parseState` holds the
    // first error that has a code (many failures have none). Any earlier content of the document and
    // earlier error are dropped first; the reader settings in `parseState` are kept.
    std::optional<std::size_t> Load(std::string_view text);

    // The first child that is an element.
    XmlNode* GetRoot();
    const XmlNode* GetRoot() const;

    XmlParseState parseState;
};

// Whether two trees hold the same names, values and attributes. White space between child elements is
// layout and not compared. A save compares what it wrote, read back, with what it meant to write.
bool SameXmlContent(const XmlNode& a, const XmlNode& b);

// The first error of a failed load as "what at line L, column C", for messages naming the file.
std::string DescribeXmlError(const XmlParseState& state, std::string_view text);

// Appends the file's bytes to `text`. Each 10,239-byte chunk of the file ends at its first zero byte,
// which is how these files have always been read. False when the file cannot be opened or read.
bool ReadTextFile(const std::filesystem::path& path, std::string& text, std::string* error = nullptr,
                  const FileKind& kind = kXmlFileKind);
// Replaces the file with `text` in one atomic step; on failure the old file is left as it was.
bool WriteTextFile(const std::filesystem::path& path, std::string_view text, std::string* error = nullptr);

} // namespace kelmora::model
