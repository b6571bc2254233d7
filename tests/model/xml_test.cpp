#include "model/xml.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

using testsupport::TempDir;
using testsupport::WriteFile;

// Names, attributes and values of a subtree, one node per line, for comparing whole trees.
std::string Describe(const XmlNode& node, int depth = 0)
{
    std::string out(static_cast<std::size_t>(depth), ' ');
    out += std::to_string(node.type) + " [" + node.name + "]";
    for (const auto& attribute : node.attributes) {
        out += " " + attribute->name + "=[" + attribute->value + "]";
    }
    if (node.children.empty() || !node.value.empty()) {
        out += " value=[" + node.value + "]";
    }
    out += "\n";
    for (const auto& child : node.children) {
        out += Describe(*child, depth + 1);
    }
    return out;
}

// ---- reader ----

// Broken input never gives a root. Malformed elements record a code, a position and a text; input that merely
// ends early, or has no markup at all, records nothing. A later load starts with a clean document and record.
TEST(XmlReader, BrokenInput_FailsWithOrWithoutRecordedError)
{
    const struct
    {
        std::string_view text;
        std::int32_t code;
        std::size_t position;
        std::string_view message;
    } recorded[] = {
        {"<a/ >", 1, 2, "Element must be closed."},
        {"<a><b/></a", 2, 9, "it must be closed with </a>"},
        {"<a></b>", 3, 5, "'<a> ... </b>' is not wel-formed."},
        {"<a><b></a>", 3, 8, "'<b> ... </a>' is not wel-formed."},
        {"<a b", 4, 3, "<a> attribute has error "},
    };
    XmlDocument doc; // one document throughout: each load drops what the one before left
    for (const auto& c : recorded) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(doc.Load(c.text));
        EXPECT_EQ(doc.GetRoot(), nullptr);
        EXPECT_TRUE(doc.parseState.errorOccurred);
        EXPECT_EQ(doc.parseState.errorCode, c.code);
        EXPECT_EQ(doc.parseState.errorPosition, std::optional<std::size_t>(c.position));
        EXPECT_EQ(doc.parseState.errorText, c.message);

        EXPECT_EQ(doc.Load("<xml/>"), std::optional<std::size_t>(6));
        EXPECT_EQ(Describe(doc), "4 []\n 0 [xml] value=[]\n");
        EXPECT_EQ(doc.GetRoot()->parent, &doc);
        EXPECT_EQ(doc.GetRoot()->document, &doc);
        EXPECT_FALSE(doc.parseState.errorOccurred);
        EXPECT_EQ(doc.parseState.errorCode, 0);
        EXPECT_EQ(doc.parseState.errorText, "");
    }
    const std::string_view unrecorded[] = {
        "",       " \r\n\t",        "no markup",     "<",          "<abc",      "<a ",      "<a b=\"1\"",
        "<a b=1", "<a b=\"x",       "<a b='x\\' />", "<a b=\"x\\", "<a><!-- x", "<!-- x",   "<a/><!-- x",
        "<?pi x", "<a><?pi x=\"?>", "<a><![CDATA[x", "<a>x\\",     "<a b=x\\",  "<a><b>y\\"};
    for (const std::string_view text : unrecorded) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(doc.Load(text));
        EXPECT_EQ(doc.GetRoot(), nullptr);
        EXPECT_FALSE(doc.parseState.errorOccurred);
        EXPECT_EQ(doc.parseState.errorCode, 0);
    }
    // Nesting beyond the limit fails without exhausting the stack.
    std::string nested;
    for (int i = 0; i < kXmlMaxDepth; ++i) {
        nested += "<a>";
    }
    EXPECT_TRUE(doc.Load(nested));
    EXPECT_FALSE(doc.Load(nested + "<a>"));
    EXPECT_EQ(doc.parseState.errorCode, kXmlErrorTooDeep);
    EXPECT_EQ(DescribeXmlError(doc.parseState, nested + "<a>"),
              "elements are nested deeper than 64 levels (line 1, column " + std::to_string(3 * kXmlMaxDepth + 1) +
                  ")");
    for (int i = kXmlMaxDepth; i < 200'000; ++i) {
        nested += "<a>";
    }
    EXPECT_FALSE(doc.Load(nested));
}

// How existing files have always been read, quirks included; none of this may change. Each case gives the
// whole document tree and, where reading stops early, the text it stops at.
TEST(XmlReader, Forms_ReadAsTheyAlwaysWere)
{
    const struct
    {
        std::string_view text;
        std::string_view tree;
        std::string_view stopsAt;
    } cases[] = {
        // The first text wins; text after a child is skipped.
        {"<a>one<b/>two</a>", "4 []\n 0 [a] value=[one]\n  0 [b] value=[]\n", ""},
        // An only child on its own line leaves the line break before the closing tag as the value.
        {"<a>\r\n\t<b/>\r\n</a>", "4 []\n 0 [a] value=[\r\n]\n  0 [b] value=[]\n", ""},
        {"<a><b/><c>x", "4 []\n 0 [a]\n  0 [b] value=[]\n  0 [c] value=[x]\n", ""},
        {"<a p=x q=\"y > z\" r='u v' s t = w></a>", "4 []\n 0 [a] p=[x] q=[y > z] r=[u v] s=[] t=[w] value=[]\n", ""},
        // The escape character makes the next character literal.
        {R"(<a b="say \"hi\"" c="C:\\dir" d="\q" e='it\'s'>1 \< 2 \\ 3</a>)",
         "4 []\n 0 [a] b=[say \"hi\"] c=[C:\\dir] d=[q] e=[it's] value=[1 < 2 \\ 3]\n", ""},
        // Only the zero reference is decoded, and it cuts the value.
        {R"(<a b="R&amp;D" c="ab&#000;cd">x&lt;y&#000;z</a>)", "4 []\n 0 [a] b=[R&amp;D] c=[ab] value=[x&lt;y]\n", ""},
        // Files written before escaping: a lone backslash vanishes.
        {R"(<c a="C:\Work" b="R&D"/>)", "4 []\n 0 [c] a=[C:Work] b=[R&D] value=[]\n", ""},
        {std::string_view("<a>x\0y</a>", 11), "4 []\n 0 [a] value=[x]\n", std::string_view("\0", 1)},
        {"<!-- note -->\r\n<xml/>", "4 []\n 2 [#COMMENT] value=[ note ]\n 0 [xml] value=[]\n", ""},
        // A comment inside an element belongs to it, an instruction to the document.
        {"<a><!--c--><?pi x=\"1\"?><b/></a>",
         "4 []\n 1 [pi] x=[1] value=[]\n 0 [a]\n  2 [#COMMENT] value=[c]\n  0 [b] value=[]\n", ""},
        // Instructions and character data around the root are kept, other text ends the document.
        {"<?xml version=\"1.0\" encoding='cp1252'?>\r\n<r/>\r\n<![cdata[a<b]]> trailing <!--end--><s/>",
         "4 []\n 1 [xml] version=[1.0] encoding=[cp1252] value=[]\n 0 [r] value=[]\n 3 [#CDATA] value=[a<b]\n",
         " trailing"},
        // A closing tag ended by a blank gives the rest of the tag to the parent's text.
        {"<a><b></b ></a>", "4 []\n 0 [a] value=[>]\n  0 [b] value=[]\n", ""},
        // An attribute without a value before ">" takes everything to the next blank as its name.
        {"<a b><c d=\"1\"/></a>", "4 []\n 0 [a] b><c=[] d=[1] value=[]\n", "</a>"},
        // Text between a leading comment and the root shifts the root's name by one.
        {"<!--c-->x<root/>", "4 []\n 2 [#COMMENT] value=[c]\n 0 [<root] value=[]\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument doc;
        const std::size_t stop = c.stopsAt.empty() ? c.text.size() : c.text.find(c.stopsAt);
        EXPECT_EQ(doc.Load(c.text), std::optional<std::size_t>(stop));
        EXPECT_EQ(Describe(doc), c.tree);
        EXPECT_FALSE(doc.parseState.errorOccurred);
    }
}

// ---- writer ----

// One element written with the given options, and its attributes read back from that text. A zero character is
// written as its reference, which cuts the value on reading.
TEST(XmlWriter, Element_LayoutEscapesAndOptions)
{
    XmlWriteOptions apostrophe;
    apostrophe.quoteChar = '\'';
    XmlWriteOptions compact;
    compact.newline = false;
    XmlWriteOptions indented;
    indented.indentLevel = 2;
    const struct
    {
        std::string value;
        std::vector<std::pair<std::string, std::string>> attributes;
        bool child;
        XmlWriteOptions options;
        std::string_view written;
    } cases[] = {
        {"", {{"id", "5"}}, false, {}, "\r\n<a id=\"5\" />"},
        {"t", {}, true, {}, "\r\n<a>\r\n\t<b/>\r\n\tt\r\n</a>"},
        {"1<2 \\ \"x\"",
         {{"name", "say \"hi\" \\ <b> 'x'"}},
         false,
         {},
         "\r\n<a name=\"say \\\"hi\\\" \\\\ <b> 'x'\" >1\\<2 \\\\ \"x\"</a>"},
        {"", {{"v", std::string("ab\0cd", 5)}}, false, {}, "\r\n<a v=\"ab&#000;cd\" />"},
        {"", {{"v", "it's \"x\""}}, false, apostrophe, "\r\n<a v='it\\'s \"x\"' />"},
        {"t", {{"x", "1"}}, true, compact, "<a x=\"1\" ><b/>t</a>"},
        {"t", {{"x", "1"}}, true, indented, "\r\n\t\t<a x=\"1\" >\r\n\t\t\t<b/>\r\n\t\t\tt\r\n\t\t</a>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        XmlNode a;
        a.name = "a";
        a.value = c.value;
        for (const auto& [name, value] : c.attributes) {
            a.AppendAttr(name, value);
        }
        if (c.child) {
            a.AppendChild("b");
        }
        EXPECT_EQ(a.GetXml(c.options), c.written);
        XmlDocument doc;
        ASSERT_TRUE(doc.Load(c.written));
        for (const auto& [name, value] : c.attributes) {
            EXPECT_EQ(doc.GetRoot()->GetAttrValue(name), value.substr(0, value.find('\0')));
        }
    }
}

// A document read and written again gives the exact layout below, and that text reads back to the same tree.
TEST(XmlWriter, ReadDocuments_RewrittenInLayoutAndReadBack)
{
    const struct
    {
        std::string_view text;
        std::string_view written;
        bool sameTree = true; // else the layout's line breaks become the value of an only child's parent
    } cases[] = {
        {"<a x=\"1\">\r\n\t<b/>\r\n</a>", "\r\n\r\n<a x=\"1\" >\r\n\t<b/>\r\n</a>"},
        {"<a> </a>", "\r\n\r\n<a> </a>"},
        // Instructions, comments and character data are written raw.
        {"<?xml version=\"1.0\"?><!--c\\\\--><a><![CDATA[x]]></a>",
         "\r\n\r\n<?xml version=\"1.0\" ?>\r\n<!--c\\\\-->\r\n<a>\r\n\t<![CDATA[x]]>\r\n</a>", false},
        // An instruction's "?>" is escaped so that it reads back.
        {"<?p v=\"a\\?>b\"?><?q\\ ?><r/>", "\r\n\r\n<?p v=\"a\\?>b\" ?>\r\n<?q\\ ?>\r\n<r/>"},
        // An element without a name is not taken for a closing tag.
        {"< /><!--c-->", "\r\n\r\n< />\r\n<!--c-->"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument first;
        ASSERT_TRUE(first.Load(c.text));
        const std::string written = first.GetXml();
        EXPECT_EQ(written, c.written);
        XmlDocument second;
        ASSERT_TRUE(second.Load(written));
        if (c.sameTree) {
            EXPECT_EQ(Describe(second), Describe(first));
        }
        EXPECT_EQ(second.GetXml(), written);
    }
}

// ---- node operations ----

// Lookups are exact and case-sensitive, give the first of duplicate names, and nothing for what is missing.
TEST(XmlNode, LookupsAppendAndRemove)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a x=\"1\" x=\"2\"><b>v</b><b>w</b></a>"));
    const XmlNode* a = doc.GetRoot();
    EXPECT_EQ(a->attributes.size(), 2u);
    EXPECT_EQ(a->GetChild(-1), nullptr);
    EXPECT_EQ(a->GetChild(2), nullptr);
    EXPECT_EQ(a->GetChild(1)->value, "w");
    EXPECT_EQ(a->FindChild("B"), nullptr);
    EXPECT_EQ(a->GetChildValue("c"), std::nullopt);
    EXPECT_EQ(a->GetChildValue("b"), "v");
    EXPECT_EQ(a->GetAttrValue("X"), std::nullopt);
    EXPECT_EQ(a->GetAttrValue("x"), "1");
    // Appending links the new node; removing touches only own children.
    ASSERT_TRUE(doc.Load("<a><b><c/></b><d/></a>"));
    XmlNode* root = doc.GetRoot();
    XmlNode& child = root->AppendChild("e");
    EXPECT_EQ(child.parent, root);
    EXPECT_EQ(child.document, &doc);
    EXPECT_EQ(child.type, kXmlElement);
    EXPECT_EQ(child.AppendAttr("k", "v").parent, &child);
    XmlNode detached;
    EXPECT_EQ(detached.AppendChild("b").document, nullptr);

    EXPECT_FALSE(root->RemoveChild(root->GetChild(0)->GetChild(0)));
    EXPECT_FALSE(root->RemoveChild(nullptr));
    EXPECT_EQ(root->GetChildCount(), 3);
    EXPECT_TRUE(root->RemoveChild(root->GetChild(0)));
    EXPECT_TRUE(root->RemoveChild(&child));
    EXPECT_EQ(Describe(*root), "0 [a]\n 0 [d] value=[]\n");
}

// ---- whole files ----

// Files are read in the chunks they always were: a zero byte cuts only the rest of its chunk.
TEST(XmlTextFile, Read_ZeroBytesCutTheirChunkMissingFileFails)
{
    TempDir dir;
    std::string text;
    std::string error;
    EXPECT_FALSE(ReadTextFile(dir.path() / "missing.xml", text, &error));
    EXPECT_FALSE(error.empty());
    std::string bytes = std::string(100, 'a') + '\0' + std::string(10'239 - 101, 'b') + std::string(50, 'c');
    WriteFile(dir.path() / "f.xml", bytes);
    ASSERT_TRUE(ReadTextFile(dir.path() / "f.xml", text));
    EXPECT_EQ(text, std::string(100, 'a') + std::string(50, 'c'));
}

} // namespace
} // namespace kelmora::model
