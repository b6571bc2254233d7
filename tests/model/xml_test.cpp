#include "model/xml.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace kelmora::model {
namespace {

using testsupport::ReadFile;
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
    if (node.children.empty()) {
        out += " value=[" + node.value + "]";
    }
    out += "\n";
    for (const auto& child : node.children) {
        out += Describe(*child, depth + 1);
    }
    return out;
}

// The catalogue as the category code creates it: "<xml/>" with two children appended.
constexpr std::string_view kNewCatalogue = "\r\n\r\n<xml>\r\n\t<categories/>\r\n\t<next_id>1</next_id>\r\n</xml>";

// ---- reader ----

TEST(XmlReader, EmptyRootElement_GivesRootWithoutContent)
{
    XmlDocument doc;
    EXPECT_EQ(doc.Load("<xml/>"), std::optional<std::size_t>(6));
    const XmlNode* root = doc.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "xml");
    EXPECT_EQ(root->type, kXmlElement);
    EXPECT_TRUE(root->attributes.empty());
    EXPECT_TRUE(root->children.empty());
    EXPECT_EQ(root->value, "");
    EXPECT_EQ(root->parent, &doc);
    EXPECT_EQ(root->document, &doc);
    EXPECT_EQ(doc.GetChildCount(), 1);
    EXPECT_FALSE(doc.parseState.errorOccurred);
}

TEST(XmlReader, EmptyBlankOrTruncatedInput_FailsWithoutRecordedError)
{
    for (const std::string_view text : {"", " \r\n\t", "no markup", "<", "<abc", "<a ", "<a b=\"1\"", "<a b=1"}) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Load(text)) << text;
        EXPECT_EQ(doc.GetRoot(), nullptr) << text;
        EXPECT_FALSE(doc.parseState.errorOccurred) << text;
        EXPECT_EQ(doc.parseState.errorCode, 0) << text;
    }
}

struct ErrorCase
{
    std::string_view text;
    std::int32_t code;
    std::size_t position;
    std::string_view message;
};

TEST(XmlReader, MalformedElements_RecordCodePositionAndText)
{
    const ErrorCase cases[] = {
        {"<a/ >", 1, 2, "Element must be closed."},
        {"<a><b/></a", 2, 9, "it must be closed with </a>"},
        {"<a></b>", 3, 5, "'<a> ... </b>' is not wel-formed."},
        {"<a><b></a>", 3, 8, "'<b> ... </a>' is not wel-formed."},
        {"<a b", 4, 3, "<a> attribute has error "},
    };
    for (const ErrorCase& c : cases) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Load(c.text)) << c.text;
        EXPECT_EQ(doc.GetRoot(), nullptr) << c.text;
        EXPECT_TRUE(doc.parseState.errorOccurred) << c.text;
        EXPECT_EQ(doc.parseState.errorCode, c.code) << c.text;
        EXPECT_EQ(doc.parseState.errorPosition, std::optional<std::size_t>(c.position)) << c.text;
        EXPECT_EQ(doc.parseState.errorText, c.message) << c.text;
    }
}

TEST(XmlReader, SecondLoad_StartsWithCleanDocumentAndErrorRecord)
{
    XmlDocument doc;
    ASSERT_FALSE(doc.Load("<a/ >"));
    ASSERT_TRUE(doc.Load("<b/>"));
    EXPECT_FALSE(doc.parseState.errorOccurred);
    EXPECT_EQ(doc.parseState.errorCode, 0);
    EXPECT_EQ(doc.parseState.errorText, "");
    ASSERT_TRUE(doc.Load("<c/>"));
    EXPECT_EQ(doc.GetChildCount(), 1);
    EXPECT_EQ(doc.GetRoot()->name, "c");
}

TEST(XmlReader, TextChildText_FirstTextWinsAndSecondIsSkipped)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a>one<b/>two</a>"));
    EXPECT_EQ(doc.GetRoot()->value, "one");
    EXPECT_EQ(doc.GetRoot()->GetChildCount(), 1);
}

TEST(XmlReader, OnlyChildOnOwnLine_ValueIsLineBreakBeforeClosingTag)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a>\r\n\t<b/>\r\n</a>"));
    EXPECT_EQ(doc.GetRoot()->value, "\r\n");
    EXPECT_EQ(doc.GetRoot()->GetChildCount(), 1);
}

TEST(XmlReader, MissingClosingTagAtEnd_KeepsChildrenReadSoFar)
{
    const std::string_view text = "<a><b/><c>x";
    XmlDocument doc;
    EXPECT_EQ(doc.Load(text), std::optional<std::size_t>(text.size()));
    EXPECT_EQ(Describe(*doc.GetRoot()), "0 [a]\n 0 [b] value=[]\n 0 [c] value=[x]\n");
}

TEST(XmlReader, AttributeForms_UnquotedQuotedAndWithoutValue)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a p=x q=\"y > z\" r='u v' s t = w></a>"));
    EXPECT_EQ(Describe(*doc.GetRoot()), "0 [a] p=[x] q=[y > z] r=[u v] s=[] t=[w] value=[]\n");
}

TEST(XmlReader, EscapeCharacter_MakesNextCharacterLiteral)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(R"(<a b="say \"hi\"" c="C:\\dir" d="\q" e='it\'s'>1 \< 2 \\ 3</a>)"));
    const XmlNode* root = doc.GetRoot();
    EXPECT_EQ(root->GetAttrValue("b"), "say \"hi\"");
    EXPECT_EQ(root->GetAttrValue("c"), "C:\\dir");
    EXPECT_EQ(root->GetAttrValue("d"), "q");
    EXPECT_EQ(root->GetAttrValue("e"), "it's");
    EXPECT_EQ(root->value, "1 < 2 \\ 3");
}

TEST(XmlReader, EntityReferences_OnlyZeroReferenceDecodedAndItCutsTheValue)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(R"(<a b="R&amp;D" c="ab&#000;cd">x&lt;y&#000;z</a>)"));
    EXPECT_EQ(doc.GetRoot()->GetAttrValue("b"), "R&amp;D");
    EXPECT_EQ(doc.GetRoot()->GetAttrValue("c"), "ab");
    EXPECT_EQ(doc.GetRoot()->value, "x&lt;y");
}

TEST(XmlReader, CommentBeforeRoot_BecomesDocumentChild)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<!-- note -->\r\n<xml/>"));
    ASSERT_EQ(doc.GetChildCount(), 2);
    EXPECT_EQ(doc.GetChild(0)->type, kXmlComment);
    EXPECT_EQ(doc.GetChild(0)->name, "#COMMENT");
    EXPECT_EQ(doc.GetChild(0)->value, " note ");
    EXPECT_EQ(doc.GetRoot(), doc.GetChild(1));
    EXPECT_EQ(doc.GetRoot()->name, "xml");
}

TEST(XmlReader, CommentInsideElement_BelongsToElementButInstructionToDocument)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a><!--c--><?pi x=\"1\"?><b/></a>"));
    EXPECT_EQ(Describe(doc), "4 []\n 1 [pi] x=[1] value=[]\n 0 [a]\n  2 [#COMMENT] value=[c]\n  0 [b] value=[]\n");
    EXPECT_EQ(doc.GetChild(0)->parent, &doc);
    EXPECT_EQ(doc.GetRoot()->GetChild(0)->parent, doc.GetRoot());
}

TEST(XmlReader, NodesAroundRoot_InstructionAndCharacterDataKeptOtherTextIgnored)
{
    const std::string_view text =
        "<?xml version=\"1.0\" encoding='cp1252'?>\r\n<r/>\r\n<![cdata[a<b]]> trailing <!--end--><s/>";
    XmlDocument doc;
    EXPECT_EQ(doc.Load(text), std::optional<std::size_t>(text.find(" trailing")));
    EXPECT_EQ(Describe(doc),
              "4 []\n 1 [xml] version=[1.0] encoding=[cp1252] value=[]\n 0 [r] value=[]\n 3 [#CDATA] value=[a<b]\n");
}

// The quirks below are how existing files have always been read; they must not change.
TEST(XmlReader, ClosingTagEndedByBlank_RestOfTagBecomesParentText)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a><b></b ></a>"));
    EXPECT_EQ(doc.GetRoot()->value, ">");
    EXPECT_EQ(doc.GetRoot()->GetChildCount(), 1);
}

TEST(XmlReader, AttributeWithoutValueBeforeGreater_NameRunsToNextBlank)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a b><c d=\"1\"/></a>"));
    EXPECT_EQ(Describe(*doc.GetRoot()), "0 [a] b><c=[] d=[1] value=[]\n");
}

TEST(XmlReader, TextBetweenLeadingCommentAndRoot_ShiftsRootNameByOne)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<!--c-->x<root/>"));
    EXPECT_EQ(doc.GetRoot()->name, "<root");
}

TEST(XmlReader, UnterminatedConstructs_FailCleanly)
{
    for (const std::string_view text :
         {"<a b=\"x", "<a b='x\\' />", "<a b=\"x\\", "<a><!-- x", "<!-- x", "<a/><!-- x", "<?pi x", "<a><?pi x=\"?>",
          "<a><![CDATA[x", "<a>x\\", "<a b=x\\", "<a><b>y\\"}) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Load(text)) << text;
        EXPECT_EQ(doc.GetRoot(), nullptr) << text;
        EXPECT_FALSE(doc.parseState.errorOccurred) << text;
    }
}

TEST(XmlReader, NestingBeyondLimit_FailsWithoutExhaustingStack)
{
    auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) {
            text += "<a>";
        }
        return text;
    };
    XmlDocument doc;
    EXPECT_TRUE(doc.Load(nested(kXmlMaxDepth)));
    EXPECT_FALSE(doc.Load(nested(kXmlMaxDepth + 1)));
    EXPECT_FALSE(doc.Load(nested(200'000)));
}

TEST(XmlReader, ZeroByte_EndsTheText)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(std::string_view("<a>x\0y</a>", 11)));
    EXPECT_EQ(doc.GetRoot()->value, "x");
}

// ---- writer ----

TEST(XmlWriter, NewCatalogue_WrittenExactly)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<xml/>"));
    doc.GetRoot()->AppendChild("categories");
    doc.GetRoot()->AppendChild("next_id", "1");
    EXPECT_EQ(doc.GetXml(XmlWriteOptions{}), kNewCatalogue);
}

TEST(XmlWriter, CatalogueAfterCreatingCategory_WrittenExactlyWithoutGrowing)
{
    const std::string expected = "\r\n\r\n<xml>\r\n\t<categories>\r\n\t\t<category name=\"Work\" id=\"1\" />\r\n"
                                 "\t</categories>\r\n\t<next_id>2</next_id>\r\n</xml>";
    // Each step reads the file written by the step before, as the catalogue does.
    XmlDocument advance;
    ASSERT_TRUE(advance.Load(kNewCatalogue));
    advance.GetRoot()->FindChild("next_id")->value = "2";
    const std::string advanced = advance.GetXml();
    XmlDocument save;
    ASSERT_TRUE(save.Load(advanced));
    XmlNode& category = save.GetRoot()->FindChild("categories")->AppendChild("category");
    category.AppendAttr("name", "Work");
    category.AppendAttr("id", "1");
    EXPECT_EQ(save.GetXml(), expected);

    XmlDocument again;
    ASSERT_TRUE(again.Load(expected));
    EXPECT_EQ(again.GetXml(), expected);
}

TEST(XmlWriter, ElementWithOneAttribute_BlankAfterAttributeThenSlash)
{
    XmlNode task;
    task.name = "task";
    task.AppendAttr("id", "5");
    EXPECT_EQ(task.GetXml(), "\r\n<task id=\"5\" />");
}

TEST(XmlWriter, OnlyChildOnOwnLine_RewritesToSameTextAndTree)
{
    XmlDocument first;
    ASSERT_TRUE(first.Load("<a x=\"1\">\r\n\t<b/>\r\n</a>"));
    const std::string written = first.GetXml();
    EXPECT_EQ(written, "\r\n\r\n<a x=\"1\" >\r\n\t<b/>\r\n</a>");
    XmlDocument second;
    ASSERT_TRUE(second.Load(written));
    EXPECT_EQ(Describe(second), Describe(first));
    EXPECT_EQ(second.GetXml(), written);
}

TEST(XmlWriter, LeafWithWhiteSpaceValue_KeepsValue)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a> </a>"));
    EXPECT_EQ(doc.GetXml(), "\r\n\r\n<a> </a>");
}

TEST(XmlWriter, TextBesideChildren_WrittenAfterChildrenOnOwnLine)
{
    XmlNode a;
    a.name = "a";
    a.value = "t";
    a.AppendChild("b");
    EXPECT_EQ(a.GetXml(), "\r\n<a>\r\n\t<b/>\r\n\tt\r\n</a>");
}

TEST(XmlWriter, QuoteBackslashAndLess_WrittenWithEscapeCharacter)
{
    XmlNode a;
    a.name = "a";
    a.value = "1<2 \\ \"x\"";
    a.AppendAttr("name", "say \"hi\" \\ <b> 'x'");
    EXPECT_EQ(a.GetXml(), "\r\n<a name=\"say \\\"hi\\\" \\\\ <b> 'x'\" >1\\<2 \\\\ \"x\"</a>");
}

TEST(XmlWriter, NamesTheUserCanType_SurviveWriteAndRead)
{
    const std::string names[] = {"Say \"hi\"", "C:\\Work\\", "a<b",  "R&D",        "R&amp;D",  "  two  blanks ",
                                 "it's",       "> / = ?>",   "\\\"", "<!-- x -->", "tab\there"};
    for (const std::string& name : names) {
        XmlDocument doc;
        ASSERT_TRUE(doc.Load(kNewCatalogue));
        XmlNode& category = doc.GetRoot()->FindChild("categories")->AppendChild("category", name);
        category.AppendAttr("name", name);
        category.AppendAttr("id", "7");
        XmlDocument reread;
        ASSERT_TRUE(reread.Load(doc.GetXml())) << name;
        const XmlNode* read = reread.GetRoot()->FindChild("categories")->FindChild("category");
        ASSERT_NE(read, nullptr) << name;
        EXPECT_EQ(read->GetAttrValue("name"), name);
        EXPECT_EQ(read->GetAttrValue("id"), "7");
        EXPECT_EQ(read->value, name);
    }
}

TEST(XmlWriter, ApostropheQuote_EscapesApostropheAndReadsBack)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a/>"));
    doc.GetRoot()->AppendAttr("v", "it's \"x\"");
    XmlWriteOptions options;
    options.quoteChar = '\'';
    const std::string written = doc.GetXml(options);
    EXPECT_EQ(written, "\r\n\r\n<a v='it\\'s \"x\"' />");
    XmlDocument reread;
    ASSERT_TRUE(reread.Load(written));
    EXPECT_EQ(reread.GetRoot()->GetAttrValue("v"), "it's \"x\"");
}

TEST(XmlWriter, FileWrittenBeforeEscaping_ReadsAsItAlwaysDid)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<xml><categories><category name=\"C:\\Work\" id=\"3\" /><category name=\"R&D\" id=\"4\" />"
                         "</categories></xml>"));
    const XmlNode* categories = doc.GetRoot()->FindChild("categories");
    EXPECT_EQ(categories->GetChild(0)->GetAttrValue("name"), "C:Work");
    EXPECT_EQ(categories->GetChild(1)->GetAttrValue("name"), "R&D");
}

TEST(XmlWriter, InstructionCommentAndCharacterData_WrittenRawInLayout)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<?xml version=\"1.0\"?><!--c\\\\--><a><![CDATA[x]]></a>"));
    EXPECT_EQ(doc.GetXml(), "\r\n\r\n<?xml version=\"1.0\" ?>\r\n<!--c\\\\-->\r\n<a>\r\n\t<![CDATA[x]]>\r\n</a>");
}

TEST(XmlWriter, InstructionValueWithCloseMark_EscapedSoItReadsBack)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<?p v=\"a\\?>b\"?><?q\\ ?><r/>"));
    ASSERT_EQ(doc.GetChild(0)->GetAttrValue("v"), "a?>b");
    ASSERT_EQ(doc.GetChild(1)->name, "q\\");
    const std::string written = doc.GetXml();
    XmlDocument reread;
    ASSERT_TRUE(reread.Load(written)) << written;
    EXPECT_EQ(Describe(reread), Describe(doc));
}

TEST(XmlWriter, EmptyElementWithoutName_NotWrittenAsClosingTag)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("< /><!--c-->"));
    const std::string written = doc.GetXml();
    EXPECT_EQ(written, "\r\n\r\n< />\r\n<!--c-->");
    XmlDocument reread;
    ASSERT_TRUE(reread.Load(written));
    EXPECT_EQ(Describe(reread), Describe(doc));
}

TEST(XmlWriter, OtherOptions_NoLineBreaksOrDeeperStart)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a x=\"1\"><b/>t</a>"));
    XmlWriteOptions compact;
    compact.newline = false;
    EXPECT_EQ(doc.GetXml(compact), "<a x=\"1\" ><b/>t</a>");
    XmlWriteOptions indented;
    indented.indentLevel = 2;
    EXPECT_EQ(doc.GetRoot()->GetXml(indented), "\r\n\t\t<a x=\"1\" >\r\n\t\t\t<b/>\r\n\t\t\tt\r\n\t\t</a>");
}

TEST(XmlWriter, ZeroCharacterInValue_WrittenAsReferenceAndCutOnRead)
{
    XmlNode a;
    a.name = "a";
    a.AppendAttr("v", std::string("ab\0cd", 5));
    const std::string written = a.GetXml();
    EXPECT_EQ(written, "\r\n<a v=\"ab&#000;cd\" />");
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(written));
    EXPECT_EQ(doc.GetRoot()->GetAttrValue("v"), "ab");
}

// ---- node operations ----

TEST(XmlNode, LookupsOfMissingItems_GiveNone)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a x=\"1\"><b>v</b></a>"));
    const XmlNode* a = doc.GetRoot();
    EXPECT_EQ(a->GetChild(-1), nullptr);
    EXPECT_EQ(a->GetChild(1), nullptr);
    EXPECT_EQ(a->GetChild(0)->name, "b");
    EXPECT_EQ(a->FindChild("B"), nullptr);
    EXPECT_EQ(a->GetChildValue("c"), std::nullopt);
    EXPECT_EQ(a->GetChildValue("b"), "v");
    EXPECT_EQ(a->GetAttrValue("X"), std::nullopt);
    EXPECT_EQ(a->GetAttrValue("x"), "1");
}

TEST(XmlNode, DuplicateNames_KeptAndFirstFound)
{
    XmlNode a;
    a.AppendAttr("id", "1");
    a.AppendAttr("id", "2");
    a.AppendChild("c", "first");
    a.AppendChild("c", "second");
    EXPECT_EQ(a.attributes.size(), 2u);
    EXPECT_EQ(a.GetAttrValue("id"), "1");
    EXPECT_EQ(a.GetChildValue("c"), "first");
}

TEST(XmlNode, AppendChild_LinksChildToParentAndDocument)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a/>"));
    XmlNode& child = doc.GetRoot()->AppendChild("b");
    EXPECT_EQ(child.parent, doc.GetRoot());
    EXPECT_EQ(child.document, &doc);
    EXPECT_EQ(child.type, kXmlElement);
    EXPECT_EQ(child.AppendAttr("k", "v").parent, &child);

    XmlNode detached;
    EXPECT_EQ(detached.AppendChild("b").document, nullptr);
}

TEST(XmlNode, RemoveChild_OnlyRemovesOwnChildren)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.Load("<a><b><c/></b><d/></a>"));
    XmlNode* a = doc.GetRoot();
    XmlNode* c = a->GetChild(0)->GetChild(0);
    EXPECT_FALSE(a->RemoveChild(c));
    EXPECT_FALSE(a->RemoveChild(nullptr));
    EXPECT_EQ(a->GetChildCount(), 2);
    EXPECT_TRUE(a->RemoveChild(a->GetChild(0)));
    EXPECT_EQ(Describe(*a), "0 [a]\n 0 [d] value=[]\n");
}

// ---- entities ----

TEST(XmlEntityTable, DefaultTable_HoldsOnlyTheZeroReference)
{
    const auto& entries = XmlEntityTable::Default().Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].character, '\0');
    EXPECT_EQ(entries[0].reference, "&#000;");
    EXPECT_EQ(entries[0].referenceLength, 6);
}

TEST(XmlEntityTable, Add_RefusesEmptyAndOverlongReferences)
{
    XmlEntityTable table;
    EXPECT_FALSE(table.Add('x', ""));
    EXPECT_FALSE(table.Add('x', "&abcdefghi;"));
    EXPECT_TRUE(table.Add('x', "&abcdefgh;"));
    EXPECT_EQ(table.Entries().size(), 1u);
}

TEST(XmlEntityTable, CustomTable_FirstMatchingEntryWinsBothWays)
{
    XmlEntityTable table;
    table.Add('&', "&amp;");
    table.Add('+', "&amp;");
    table.Add('&', "&and;");
    EXPECT_EQ(table.Decode("a&amp;b&and;c&amp"), "a&b&c&amp");
    EXPECT_EQ(table.Encode("a&b+c"), "a&amp;b&amp;c");
}

TEST(XmlEntityTable, ParseStateWithoutDecoding_KeepsReferences)
{
    XmlDocument doc;
    doc.parseState.decodeEntities = false;
    doc.parseState.trimValue = true;
    ASSERT_TRUE(doc.Load("<a v=\" a&#000;b \"> t </a>"));
    EXPECT_EQ(doc.GetRoot()->GetAttrValue("v"), "a&#000;b");
    EXPECT_EQ(doc.GetRoot()->value, "t");
}

// ---- whole files ----

TEST(XmlTextFile, ReadTextFile_AppendsToGivenTextOrFailsWithReason)
{
    TempDir dir;
    WriteFile(dir.path() / "f.xml", "<a/>");
    std::string text = "x";
    ASSERT_TRUE(ReadTextFile(dir.path() / "f.xml", text));
    EXPECT_EQ(text, "x<a/>");
    std::string error;
    EXPECT_FALSE(ReadTextFile(dir.path() / "missing.xml", text, &error));
    EXPECT_FALSE(error.empty());
}

TEST(XmlTextFile, ZeroByte_CutsOnlyTheRestOfItsChunk)
{
    TempDir dir;
    std::string bytes = std::string(100, 'a') + '\0' + std::string(10'239 - 101, 'b') + std::string(50, 'c');
    WriteFile(dir.path() / "f.xml", bytes);
    std::string text;
    ASSERT_TRUE(ReadTextFile(dir.path() / "f.xml", text));
    EXPECT_EQ(text, std::string(100, 'a') + std::string(50, 'c'));
}

TEST(XmlTextFile, WriteThenRead_GivesSameDocument)
{
    TempDir dir;
    const auto path = dir.path() / "categories.xml";
    WriteFile(path, "old contents that are longer than the new ones");
    ASSERT_TRUE(WriteTextFile(path, kNewCatalogue));
    EXPECT_EQ(ReadFile(path), kNewCatalogue);
    std::string text;
    ASSERT_TRUE(ReadTextFile(path, text));
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(text));
    EXPECT_EQ(doc.GetRoot()->GetChildValue("next_id"), "1");
}

// Lowers the file size limit for the guard's lifetime so that writing more fails with EFBIG, even as root.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    ~ScopedFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
};

TEST(XmlTextFile, FailedWrite_KeepsOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    const auto path = dir.path() / "categories.xml";
    WriteFile(path, std::string(kNewCatalogue));
    bool written = true;
    std::string error;
    {
        ScopedFileSizeLimit limit(16);
        written = WriteTextFile(path, std::string(4096, 'x'), &error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(path), kNewCatalogue);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    EXPECT_FALSE(WriteTextFile(dir.path() / "no such folder" / "f.xml", "<a/>"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no such folder"));
}

} // namespace
} // namespace kelmora::model
