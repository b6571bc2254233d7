#include "xml.h"

#include "atomicfile.h"

#include <algorithm>
#include <utility>

namespace kelmora::model {

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), IsXmlSpace);
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsXmlSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsXmlSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

namespace {

constexpr std::size_t npos = std::string_view::npos;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

enum class Scan
{
    Found,
    NotFound,
    // An escape character is the last character, so the character it escapes lies past the end.
    Broken,
};

enum class OtherNode
{
    None,
    Read,
    Failed,
};

// Recursive-descent reader over a whole text held in memory. Every scan is bounded by the end of the
// text (or of a processing instruction), so damaged input can never be read past its end.
class Reader
{
public:
    Reader(std::string_view text, XmlDocument& document)
        : m_text(text), m_end(text.size()), m_document(document), m_state(document.parseState),
          m_escape(document.parseState.escapeChar)
    {}

    bool LoadElement(XmlNode& node, std::size_t& pos, int depth);
    OtherNode ReadOtherNode(std::size_t& pos, XmlNode& commentOwner);
    std::size_t SkipSpace(std::size_t pos, std::size_t end) const;
    std::size_t SkipSpace(std::size_t pos) const { return SkipSpace(pos, m_end); }

private:
    bool StartsWith(std::size_t pos, std::string_view mark) const;
    bool StartsWithNoCase(std::size_t pos, std::string_view mark) const;
    std::size_t FindFirstOf(std::size_t pos, std::size_t end, std::string_view set) const;
    Scan EscapedFind(std::size_t& pos, std::size_t end, std::string_view set) const;
    Scan EscapedSearch(std::size_t& pos, std::string_view mark) const;
    void Store(std::string& target, std::size_t from, std::size_t to) const;
    bool ReadAttributes(XmlNode& owner, std::size_t& pos, std::size_t end, bool instruction);
    bool ReadText(XmlNode& node, std::size_t& pos, bool& valueBlank);
    OtherNode ReadInstruction(std::size_t& pos);
    OtherNode ReadRawNode(std::size_t& pos, std::size_t openLength, std::string_view close, std::int32_t type,
                          std::string_view nodeName, XmlNode& owner);
    void RecordError(std::int32_t code, std::size_t pos, std::string text);

    std::string_view m_text;
    std::size_t m_end;
    XmlDocument& m_document;
    XmlParseState& m_state;
    char m_escape;
};

std::size_t Reader::SkipSpace(std::size_t pos, std::size_t end) const
{
    while (pos < end && IsXmlSpace(m_text[pos])) {
        ++pos;
    }
    return pos;
}

bool Reader::StartsWith(std::size_t pos, std::string_view mark) const
{
    return pos <= m_end && m_text.substr(pos).starts_with(mark);
}

bool Reader::StartsWithNoCase(std::size_t pos, std::string_view mark) const
{
    if (pos > m_end || m_end - pos < mark.size()) {
        return false;
    }
    for (std::size_t i = 0; i < mark.size(); ++i) {
        if (AsciiLower(m_text[pos + i]) != AsciiLower(mark[i])) {
            return false;
        }
    }
    return true;
}

std::size_t Reader::FindFirstOf(std::size_t pos, std::size_t end, std::string_view set) const
{
    for (; pos < end; ++pos) {
        if (set.find(m_text[pos]) != npos) {
            return pos;
        }
    }
    return npos;
}

// Looks for any character of `set` from `pos`, passing over an escape character together with the
// character after it. Leaves `pos` at the hit, or at `end` when there is none.
Scan Reader::EscapedFind(std::size_t& pos, std::size_t end, std::string_view set) const
{
    while (pos < end) {
        const char c = m_text[pos];
        if (c == m_escape) {
            if (end - pos < 2) {
                return Scan::Broken;
            }
            pos += 2;
            continue;
        }
        if (set.find(c) != npos) {
            return Scan::Found;
        }
        ++pos;
    }
    return Scan::NotFound;
}

// The closing marks of instructions, comments and character data are searched the same way, comparing
// letters without regard to case.
Scan Reader::EscapedSearch(std::size_t& pos, std::string_view mark) const
{
    while (pos < m_end) {
        if (m_text[pos] == m_escape) {
            if (m_end - pos < 2) {
                return Scan::Broken;
            }
            pos += 2;
            continue;
        }
        if (StartsWithNoCase(pos, mark)) {
            return Scan::Found;
        }
        ++pos;
    }
    return Scan::NotFound;
}

// Copies a stretch of input into a name or value. An empty stretch keeps what the target held.
void Reader::Store(std::string& target, std::size_t from, std::size_t to) const
{
    if (from >= to) {
        return;
    }
    // Escapes and the reference are undone in one pass, so an escaped "&" never starts a reference.
    std::string text;
    text.reserve(to - from);
    for (std::size_t i = from; i < to; ++i) {
        if (m_text[i] == m_escape) {
            ++i;
            if (i == to) {
                break;
            }
            text.push_back(m_text[i]);
            continue;
        }
        if (m_text.substr(i, to - i).starts_with(kXmlZeroReference)) {
            break;
        }
        text.push_back(m_text[i]);
    }
    target = std::move(text);
}

void Reader::RecordError(std::int32_t code, std::size_t pos, std::string text)
{
    if (m_state.errorOccurred) {
        return;
    }
    m_state.errorOccurred = true;
    m_state.errorPosition = pos;
    m_state.errorCode = code;
    m_state.errorText = std::move(text);
}

// Reads attributes from `pos` up to `end`. An element's list ends at ">" or "/" and running into the end
// of the text fails; an instruction's list is just the text before its "?>".
bool Reader::ReadAttributes(XmlNode& owner, std::size_t& pos, std::size_t end, bool instruction)
{
    for (;;) {
        pos = SkipSpace(pos, end);
        if (pos >= end) {
            return instruction;
        }
        if (m_text[pos] == '>' || m_text[pos] == '/') {
            return true;
        }
        // The name runs to the first blank or "=" however far away, so an attribute without a value
        // directly before ">" takes in what follows. Existing files depend on reading exactly this way.
        const std::size_t nameEnd = FindFirstOf(pos, end, " =");
        if (nameEnd == npos) {
            RecordError(kXmlErrorAttribute, pos, "<" + owner.name + "> attribute has error ");
            return false;
        }
        XmlAttribute& attribute = owner.AppendAttr(m_text.substr(pos, nameEnd - pos), {});
        pos = SkipSpace(nameEnd, end);
        if (pos >= end || m_text[pos] != '=') {
            continue;
        }
        pos = SkipSpace(pos + 1, end);
        if (pos < end && (m_text[pos] == '"' || m_text[pos] == '\'')) {
            const char quote[] = {m_text[pos], '\0'};
            std::size_t close = pos + 1;
            if (EscapedFind(close, end, std::string_view(quote, 1)) != Scan::Found) {
                return false;
            }
            Store(attribute.value, pos + 1, close);
            pos = close + 1;
        } else {
            std::size_t stop = pos;
            if (EscapedFind(stop, end, " >") == Scan::Broken) {
                return false;
            }
            Store(attribute.value, pos, stop);
            pos = stop;
        }
    }
}

// An element's text runs up to the next unescaped "<", or to the end of the text.
bool Reader::ReadText(XmlNode& node, std::size_t& pos, bool& valueBlank)
{
    std::size_t stop = pos;
    if (EscapedFind(stop, m_end, "<") == Scan::Broken) {
        return false;
    }
    Store(node.value, pos, stop);
    valueBlank = IsBlank(node.value);
    pos = stop;
    return true;
}

// Instructions always belong to the document, wherever they stand.
OtherNode Reader::ReadInstruction(std::size_t& pos)
{
    const std::size_t start = pos + 2;
    std::size_t close = start;
    if (EscapedSearch(close, "?>") != Scan::Found) {
        return OtherNode::Failed;
    }
    auto node = std::make_unique<XmlNode>();
    node->type = kXmlProcessingInstruction;
    node->parent = &m_document;
    node->document = &m_document;
    std::size_t nameEnd = FindFirstOf(start, close, " ?>");
    if (nameEnd == npos) {
        nameEnd = close;
    }
    node->name.assign(m_text.substr(start, nameEnd - start));
    std::size_t attributes = nameEnd;
    if (!ReadAttributes(*node, attributes, close, true)) {
        return OtherNode::Failed;
    }
    m_document.children.push_back(std::move(node));
    pos = close + 2;
    return OtherNode::Read;
}

// Comments and character data keep their content raw: no escapes removed, nothing decoded.
OtherNode Reader::ReadRawNode(std::size_t& pos, std::size_t openLength, std::string_view close, std::int32_t type,
                              std::string_view nodeName, XmlNode& owner)
{
    const std::size_t start = pos + openLength;
    std::size_t end = start;
    if (EscapedSearch(end, close) != Scan::Found) {
        return OtherNode::Failed;
    }
    auto node = std::make_unique<XmlNode>();
    node->type = type;
    node->name.assign(nodeName);
    node->value.assign(m_text.substr(start, end - start));
    node->parent = &owner;
    node->document = &m_document;
    owner.children.push_back(std::move(node));
    pos = end + close.size();
    return OtherNode::Read;
}

OtherNode Reader::ReadOtherNode(std::size_t& pos, XmlNode& commentOwner)
{
    if (StartsWith(pos, "<?")) {
        return ReadInstruction(pos);
    }
    if (StartsWith(pos, "<!--")) {
        return ReadRawNode(pos, 4, "-->", kXmlComment, kXmlCommentName, commentOwner);
    }
    if (StartsWithNoCase(pos, "<![CDATA[")) {
        return ReadRawNode(pos, 9, "]]>", kXmlCharacterData, kXmlCharacterDataName, commentOwner);
    }
    return OtherNode::None;
}

// Loads the element at or after `pos` into `node`. On success `pos` is where the caller goes on; a node
// left without a name was a closing tag, a comment or an instruction, and the caller drops it.
bool Reader::LoadElement(XmlNode& node, std::size_t& pos, int depth)
{
    node.Close();
    std::size_t at = m_text.find('<', pos);
    if (at == npos) {
        return false;
    }
    if (StartsWith(at + 1, "/")) {
        pos = at;
        return true;
    }

    const bool documentLevel = node.parent == &m_document;
    for (;;) {
        at = SkipSpace(at);
        const OtherNode other = ReadOtherNode(at, *node.parent);
        if (other == OtherNode::Failed) {
            return false;
        }
        if (other == OtherNode::None) {
            break;
        }
        if (!documentLevel) {
            pos = at;
            return true;
        }
    }

    if (at >= m_end) {
        return false;
    }
    if (depth >= kXmlMaxDepth) {
        RecordError(kXmlErrorTooDeep, at,
                    "elements are nested deeper than " + std::to_string(kXmlMaxDepth) + " levels");
        return false;
    }
    // The name starts one character on even when text, not "<", follows a comment before the root.
    const std::size_t nameStart = at + 1;
    const std::size_t nameEnd = FindFirstOf(nameStart, m_end, " />\t\r\n");
    if (nameEnd == npos) {
        return false;
    }
    node.name.assign(m_text.substr(nameStart, nameEnd - nameStart));

    std::size_t p = nameEnd;
    if (!ReadAttributes(node, p, m_end, false)) {
        return false;
    }
    if (m_text[p] == '/') {
        if (StartsWith(p + 1, ">")) {
            pos = p + 2;
            return true;
        }
        RecordError(kXmlErrorNotClosed, p, "Element must be closed.");
        return false;
    }

    ++p;
    bool valueBlank = IsBlank(node.value);
    if (valueBlank && !ReadText(node, p, valueBlank)) {
        return false;
    }

    while (p < m_end) {
        auto child = std::make_unique<XmlNode>();
        child->parent = &node;
        child->document = node.document;
        child->type = node.type;
        const bool loaded = LoadElement(*child, p, depth + 1);
        if (!child->name.empty()) {
            node.children.push_back(std::move(child));
        }
        if (!loaded) {
            return false;
        }

        if (StartsWith(p, "</")) {
            p = SkipSpace(p + 2);
            const std::size_t closeEnd = FindFirstOf(p, m_end, " >");
            if (closeEnd == npos) {
                RecordError(kXmlErrorNoClosingTag, p, "it must be closed with </" + node.name + ">");
                return false;
            }
            const std::string_view closing = m_text.substr(p, closeEnd - p);
            if (closing != node.name) {
                RecordError(kXmlErrorTagMismatch, p,
                            "'<" + node.name + "> ... </" + std::string(closing) + ">' is not wel-formed.");
                return false;
            }
            pos = closeEnd + 1;
            return true;
        }
        // Only the first text that is not white space is kept; white space is replaced by what follows.
        if (valueBlank && p < m_end && m_text[p] != '<' && !ReadText(node, p, valueBlank)) {
            return false;
        }
    }
    // A missing closing tag at the end of the text is accepted.
    pos = m_end;
    return true;
}

// ---- writer ----

void AppendIndent(std::string& out, std::int32_t level)
{
    if (level > 0) {
        out.append(static_cast<std::size_t>(level), '\t');
    }
}

// Writes `text` so that the reader gives it back: a zero character as the reference, and the escape
// character put before itself, before each character in `special`, which would otherwise end the text
// early, and before text that looks like the reference, so the reader keeps it as typed.
void AppendValue(std::string& out, std::string_view text, std::string_view special)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') {
            out += kXmlZeroReference;
            continue;
        }
        if (c == kXmlEscapeChar || special.find(c) != npos || text.substr(i).starts_with(kXmlZeroReference)) {
            out.push_back(kXmlEscapeChar);
        }
        out.push_back(c);
    }
}

void AppendAttributes(std::string& out, const XmlNode& node, const XmlWriteOptions& options, bool instruction)
{
    if (node.attributes.empty()) {
        return;
    }
    const char quoteSpecial[] = {options.quoteChar, '?', '\0'};
    // In an instruction an unescaped "?" could be taken for the start of its closing "?>".
    const std::string_view special(quoteSpecial, instruction ? 2 : 1);
    out.push_back(' ');
    for (const auto& attribute : node.attributes) {
        out += attribute->name;
        out.push_back('=');
        out.push_back(options.quoteChar);
        AppendValue(out, attribute->value, special);
        out.push_back(options.quoteChar);
        out.push_back(' ');
    }
}

// Whether `name` ends in an escape character that nothing pairs with: written right before "?>" it
// would hide the "?" from the reader.
bool EndsInLoneEscape(std::string_view name)
{
    std::size_t run = 0;
    while (run < name.size() && name[name.size() - 1 - run] == kXmlEscapeChar) {
        ++run;
    }
    return run % 2 == 1;
}

void WriteNode(std::string& out, const XmlNode& node, const XmlWriteOptions& options, std::int32_t indent)
{
    if (options.newline) {
        out += "\r\n";
        AppendIndent(out, indent);
    }
    switch (node.type) {
    case kXmlDocument:
        for (const auto& child : node.children) {
            WriteNode(out, *child, options, indent);
        }
        return;
    case kXmlProcessingInstruction:
        out += "<?";
        out += node.name;
        if (node.attributes.empty() && EndsInLoneEscape(node.name)) {
            out.push_back(' ');
        }
        AppendAttributes(out, node, options, true);
        out += "?>";
        return;
    case kXmlComment:
        out += "<!--";
        out += node.value;
        out += "-->";
        return;
    case kXmlCharacterData:
        out += "<![CDATA[";
        out += node.value;
        out += "]]>";
        return;
    default:
        break;
    }

    out.push_back('<');
    out += node.name;
    AppendAttributes(out, node, options, false);
    const bool hasChildren = !node.children.empty();
    if (!hasChildren && node.value.empty()) {
        // "</>" would read back as a closing tag, so an element without a name keeps a blank before "/>".
        if (node.name.empty() && node.attributes.empty()) {
            out.push_back(' ');
        }
        out += "/>";
        return;
    }
    out.push_back('>');
    const bool layout = options.newline && hasChildren;
    const std::int32_t inner = layout ? indent + 1 : indent;
    for (const auto& child : node.children) {
        WriteNode(out, *child, options, inner);
    }
    // Between child elements the reader keeps the white space before the closing tag as the value.
    // Writing it back would add a line on every save, so such a value is left out: the layout recreates it.
    if (!node.value.empty() && !(hasChildren && IsBlank(node.value))) {
        if (layout) {
            out += "\r\n";
            AppendIndent(out, inner);
        }
        AppendValue(out, node.value, "<");
    }
    if (layout) {
        out += "\r\n";
        AppendIndent(out, inner - 1);
    }
    out += "</";
    out += node.name;
    out.push_back('>');
}

} // namespace

// ---- XmlNode ----

XmlNode* XmlNode::GetChild(std::int32_t index)
{
    return const_cast<XmlNode*>(std::as_const(*this).GetChild(index));
}

const XmlNode* XmlNode::GetChild(std::int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= children.size()) {
        return nullptr;
    }
    return children[static_cast<std::size_t>(index)].get();
}

XmlNode* XmlNode::FindChild(std::string_view childName)
{
    return const_cast<XmlNode*>(std::as_const(*this).FindChild(childName));
}

const XmlNode* XmlNode::FindChild(std::string_view childName) const
{
    for (const auto& child : children) {
        if (child->name == childName) {
            return child.get();
        }
    }
    return nullptr;
}

std::optional<std::string> XmlNode::GetChildValue(std::string_view childName) const
{
    const XmlNode* child = FindChild(childName);
    if (child == nullptr) {
        return std::nullopt;
    }
    return child->value;
}

XmlAttribute* XmlNode::FindAttr(std::string_view attrName)
{
    return const_cast<XmlAttribute*>(std::as_const(*this).FindAttr(attrName));
}

const XmlAttribute* XmlNode::FindAttr(std::string_view attrName) const
{
    for (const auto& attribute : attributes) {
        if (attribute->name == attrName) {
            return attribute.get();
        }
    }
    return nullptr;
}

std::optional<std::string> XmlNode::GetAttrValue(std::string_view attrName) const
{
    const XmlAttribute* attribute = FindAttr(attrName);
    if (attribute == nullptr) {
        return std::nullopt;
    }
    return attribute->value;
}

XmlNode& XmlNode::AppendChild(std::string_view childName, std::string_view childValue)
{
    auto child = std::make_unique<XmlNode>();
    child->name.assign(childName);
    child->value.assign(childValue);
    child->parent = this;
    child->document = document;
    children.push_back(std::move(child));
    return *children.back();
}

bool XmlNode::RemoveChild(const XmlNode* child)
{
    const auto it = std::find_if(children.begin(), children.end(),
                                 [child](const std::unique_ptr<XmlNode>& c) { return c.get() == child; });
    if (child == nullptr || it == children.end()) {
        return false;
    }
    children.erase(it);
    return true;
}

XmlAttribute& XmlNode::AppendAttr(std::string_view attrName, std::string_view attrValue)
{
    auto attribute = std::make_unique<XmlAttribute>();
    attribute->name.assign(attrName);
    attribute->value.assign(attrValue);
    attribute->parent = this;
    attributes.push_back(std::move(attribute));
    return *attributes.back();
}

void XmlNode::Close()
{
    children.clear();
    attributes.clear();
}

std::string XmlNode::GetXml(const XmlWriteOptions& options) const
{
    std::string out;
    WriteNode(out, *this, options, options.indentLevel);
    return out;
}

// ---- XmlDocument ----

XmlDocument::XmlDocument()
{
    type = kXmlDocument;
    document = this;
}

std::optional<std::size_t> XmlDocument::Load(std::string_view text)
{
    Close();
    parseState.errorOccurred = false;
    parseState.errorPosition.reset();
    parseState.errorCode = 0;
    parseState.errorText.clear();

    // The text has always ended at its first zero byte; a zero inside would otherwise reach the values.
    text = text.substr(0, text.find('\0'));
    Reader reader(text, *this);
    auto root = std::make_unique<XmlNode>();
    root->parent = this;
    root->document = this;
    std::size_t pos = 0;
    if (!reader.LoadElement(*root, pos, 0)) {
        return std::nullopt;
    }
    const XmlNode* rootNode = root.get();
    children.push_back(std::move(root));

    // Instructions, comments and character data after the root belong to the document too; any other
    // text there is ignored.
    for (;;) {
        std::size_t at = reader.SkipSpace(pos);
        const OtherNode other = reader.ReadOtherNode(at, *this);
        if (other == OtherNode::Failed) {
            RemoveChild(rootNode);
            return std::nullopt;
        }
        if (other == OtherNode::None) {
            return pos;
        }
        pos = at;
    }
}

XmlNode* XmlDocument::GetRoot()
{
    return const_cast<XmlNode*>(std::as_const(*this).GetRoot());
}

const XmlNode* XmlDocument::GetRoot() const
{
    for (const auto& child : children) {
        if (child->type == kXmlElement) {
            return child.get();
        }
    }
    return nullptr;
}

// ---- comparing and errors ----

bool SameXmlContent(const XmlNode& a, const XmlNode& b)
{
    if (a.type != b.type || a.name != b.name || a.attributes.size() != b.attributes.size() ||
        a.children.size() != b.children.size()) {
        return false;
    }
    // Between child elements the white space is layout, which the writer makes afresh.
    const bool layoutOnly = !a.children.empty() && IsBlank(a.value) && IsBlank(b.value);
    if (!layoutOnly && a.value != b.value) {
        return false;
    }
    for (std::size_t i = 0; i < a.attributes.size(); ++i) {
        if (a.attributes[i]->name != b.attributes[i]->name || a.attributes[i]->value != b.attributes[i]->value) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (!SameXmlContent(*a.children[i], *b.children[i])) {
            return false;
        }
    }
    return true;
}

std::string DescribeXmlError(const XmlParseState& state, std::string_view text)
{
    // Failures without a recorded error are texts that end before the document does.
    const bool recorded = state.errorOccurred && state.errorPosition.has_value();
    const std::size_t at = recorded ? std::min(*state.errorPosition, text.size()) : text.size();
    const std::string_view before = text.substr(0, at);
    const std::size_t line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column = at - (lineStart == npos ? 0 : lineStart + 1) + 1;
    const std::string what = recorded && !Trim(state.errorText).empty() ? std::string(Trim(state.errorText))
                                                                        : "the text ends before the document does";
    return what + " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
}

// ---- whole files ----

bool ReadTextFile(const std::filesystem::path& path, std::string& text, std::string* error, const FileKind& kind)
{
    // The size in which these files have always been read. A stray zero byte cuts only the rest of its
    // chunk, and reading the same chunks keeps such files reading as they did.
    constexpr std::size_t kChunkSize = 10'239;
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error, kind)) {
        return false;
    }
    const std::string_view all(bytes);
    for (std::size_t at = 0; at < all.size(); at += kChunkSize) {
        const std::string_view chunk = all.substr(at, kChunkSize);
        text.append(chunk.substr(0, chunk.find('\0')));
    }
    return true;
}

bool WriteTextFile(const std::filesystem::path& path, std::string_view text, std::string* error)
{
    return WriteFileAtomically(path, text, error);
}

} // namespace kelmora::model
