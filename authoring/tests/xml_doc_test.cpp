// The XML reader: encodings, the lenient parse, texts with references and CDATA, and the
// three-level position.
#include "authoring/xml/xml_doc.h"

#include <gtest/gtest.h>

#include <QStringEncoder>
#include <QTemporaryDir>

namespace {

CXmlDoc FromText(const QString& text) {
    CXmlDoc doc;
    doc.LoadBytes(text.toUtf8());
    return doc;
}

// The element tree from the current level on, as "a(b,c),d", walked with the position API
// only: StepIn without a child makes NextElement list the children from the first.
QString Shape(CXmlDoc& doc) {
    QString out;
    while (doc.NextElement()) {
        if (!out.isEmpty()) out += u',';
        out += doc.ElementName();
        doc.StepIn();
        QString inner = Shape(doc);
        doc.StepOut();
        if (!inner.isEmpty()) out += u'(' + inner + u')';
    }
    return out;
}

QString ShapeOf(const QString& text) {
    CXmlDoc doc = FromText(text);
    return Shape(doc);
}

// The text of the first child of the first top-level element.
QString FirstChildText(const QString& text) {
    CXmlDoc doc = FromText(text);
    if (!doc.NextChild()) return "<no child>";
    return doc.ChildText();
}

QByteArray Gbk(const QString& text) {
    QStringEncoder gbk("GBK");
    return gbk(text);
}

}  // namespace

TEST(XmlDoc, TopLevelElementsFollowOneAnotherAndTheSearchStopsAfterTheLast) {
    CXmlDoc doc = FromText("<A/><B/>");
    doc.Rewind();
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "A");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "B");
    EXPECT_FALSE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "B");  // a failed search moves nothing
}

TEST(XmlDoc, LenientParseRecoversTheStructure) {
    struct Case {
        const char* xml;
        const char* shape;
    } cases[] = {
        {"<a><b>t</a>", "a(b)"},                  // b closes where a closes
        {"<a><b><c></c>x</a>", "a(b,c)"},         // what followed b's start tag moves up
        {"<x><a><b><c/></x>", "x(a,b,c)"},        // through several unclosed levels
        {"<a>x</b>y</a>", "a"},                   // a stray end tag is ignored
        {"</x><a/>", "a"},                        //   also before any element
        {"<a><b></a></b>", "a(b)"},               //   and after the element it named closed
        {"<a><b>", "a,b"},                        // open at the end of the text
        {"<a><a></a>", "a,a"},                    // the end tag closes the innermost a
        {"<a></A>", "a"},                         // names are case-sensitive
        {"<r><s/><s>t</s></r><q/>", "r(s,s),q"},  // several top-level elements
        {"<a <b>", "a,b"},                        // a tag cut short by the next one
        {"<a x=\"open>", "a"},                    // an unterminated attribute value
        {"<a><!-- <b> --><![CDATA[<c>]]></a>", "a"},
        {"<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"<x>\">]><r/>", "r"},
        {"< a><1/>", ""},  // not tags at all
        {"", ""},
        {"just text", ""},
        {"<a><!-- never closed <b>", "a"},
        {"<a><![CDATA[ never closed <b>", "a"},
        {"<定时器><子/></定时器>", "定时器(子)"},
    };
    for (const Case& c : cases) EXPECT_EQ(ShapeOf(QString::fromUtf8(c.xml)), c.shape) << c.xml;
}

TEST(XmlDoc, ElementTextDecodesReferencesKeepsCdataAndIgnoresOtherMarkup) {
    struct Case {
        const char* xml;
        const char* text;
    } cases[] = {
        {"<r><t>&lt;b&gt;</t></r>", "<b>"},
        {"<r><t>&#x41;&#65;</t></r>", "AA"},
        {"<r><t>&AMP;&Amp;</t></r>", "&&"},
        {"<r><t>&apos;&quot;</t></r>", "'\""},
        {"<r><t>&agrave;&Agrave;&AGRAVE;</t></r>", "àÀÀ"},  // exact spelling first
        {"<r><t>&nbsp;&euro;&thetasym;</t></r>", "\u00a0€ϑ"},
        {"<r><t>&#x1F600;</t></r>", "😀"},
        // kept as written: unknown, zero, not a character, too long, no ";", not XML's "x"
        {"<r><t>&unknown;&#0;&#xD800;&#x110000;&#X41;</t></r>",
         "&unknown;&#0;&#xD800;&#x110000;&#X41;"},
        {"<r><t>&abcdefghij;&#65 a & b &; &#;</t></r>", "&abcdefghij;&#65 a & b &; &#;"},
        {"<r><t>&#00000065;</t></r>", "A"},  // nine characters between & and ;
        {"<r><t>x<![CDATA[<b>&amp;</b>]]>y &amp;</t></r>", "x<b>&amp;</b>y &"},
        {"<r><t>a<!-- c --><?pi x?>b</t></r>", "ab"},
        {"<r><t>x</u>y</t></r>", "xy"},
        {"<r><t>a < b</t></r>", "a < b"},
        {"<r><t>  a \n\tb </t></r>", "  a \n\tb "},
        {"<r><t>x<c/>y</t></r>", ""},  // text beside a child element
        {"<r><t/></r>", ""},
        {"<r><t></t></r>", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstChildText(QString::fromUtf8(c.xml)), QString::fromUtf8(c.text)) << c.xml;
}

TEST(XmlDoc, AttributesAreDecodedInEveryQuotingStyle) {
    CXmlDoc doc =
        FromText("<p 关联波形=\"pic/a.bmp\" d='x&amp;y' u=3 e=\"\" flag n=1 n=2 s=a/b/><q/>");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.AttributeValue("关联波形"), "pic/a.bmp");
    EXPECT_EQ(doc.AttributeValue("d"), "x&y");
    EXPECT_EQ(doc.AttributeValue("u"), "3");
    EXPECT_EQ(doc.AttributeValue("e"), "");
    EXPECT_EQ(doc.AttributeValue("n"), "1");  // the first of a repeated name
    EXPECT_EQ(doc.AttributeValue("s"), "a/b");
    EXPECT_EQ(doc.AttributeValue("missing"), "");
    ASSERT_TRUE(doc.NextElement());  // "/>" after an unquoted value still ends the element
    EXPECT_EQ(doc.ElementName(), "q");
    doc.Rewind();
    EXPECT_EQ(doc.AttributeValue("u"), "");
}

TEST(XmlDoc, EncodingFollowsMarkDeclarationAndContent) {
    const QString name = "目录地址";
    const QString xml = "<" + name + "/>";
    QByteArray utf16le(xml.size() * 2, 0), utf16be(xml.size() * 2, 0);
    for (qsizetype i = 0; i < xml.size(); ++i) {
        char16_t u = xml[i].unicode();
        utf16le[2 * i] = char(u & 0xFF);
        utf16le[2 * i + 1] = char(u >> 8);
        utf16be[2 * i] = char(u >> 8);
        utf16be[2 * i + 1] = char(u & 0xFF);
    }
    struct Case {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"UTF-8 mark", "\xEF\xBB\xBF" + xml.toUtf8()},
        {"UTF-16LE mark", "\xFF\xFE" + utf16le},
        {"UTF-16BE mark", "\xFE\xFF" + utf16be},
        {"declared GBK", Gbk("<?xml version=\"1.0\" encoding=\"GBK\"?>" + xml)},
        {"declared single-quoted", Gbk("<?xml version='1.0' encoding='gb2312' ?>" + xml)},
        {"meta charset", Gbk("<html><meta http-equiv=\"Content-Type\" "
                             "content=\"text/html; charset=gbk\">" +
                             xml + "</html>")},
        {"starts with <", xml.toUtf8()},
        {"valid UTF-8", "\n " + xml.toUtf8()},
        {"local code page", Gbk("\n " + xml)},
        {"a 16-bit claim in 8-bit bytes", ("<?xml encoding=\"UTF-16\"?>" + xml).toUtf8()},
        {"an unknown name", ("<?xml encoding=\"x-none\"?>" + xml).toUtf8()},
    };
    for (const Case& c : cases) {
        CXmlDoc doc;
        doc.LoadBytes(c.bytes);
        QString shape = Shape(doc);
        EXPECT_TRUE(shape.endsWith(name) || shape.endsWith(name + ")"))
            << c.what << ": " << qPrintable(shape);
    }
}

TEST(XmlDoc, NextChildSearchesAfterTheCurrentChildAndFailsInPlace) {
    CXmlDoc doc = FromText("<c><p n='1'/><x/><p n='2'/></c><d><p/></d>");
    EXPECT_FALSE(doc.NextChild("none"));  // the implicit NextElement stays done
    EXPECT_EQ(doc.ElementName(), "c");
    ASSERT_TRUE(doc.NextChild("p"));
    ASSERT_TRUE(doc.NextChild("p"));
    EXPECT_FALSE(doc.NextChild("x"));  // x lies before the current child
    EXPECT_EQ(doc.ChildName(), "p");
    doc.StepIn();
    EXPECT_EQ(doc.AttributeValue("n"), "2");
    EXPECT_FALSE(doc.NextElement("x"));
    doc.StepOut();
    EXPECT_EQ(doc.ElementName(), "c");
    EXPECT_EQ(doc.ChildName(), "p");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "d");
    EXPECT_EQ(doc.ChildName(), "");
    doc.StepOut();  // at the top: nothing to step out of
    EXPECT_EQ(doc.ElementName(), "d");
}

TEST(XmlDoc, StepInWithoutChildSearchesTheChildrenFromTheFirst) {
    CXmlDoc doc = FromText("<a><b/><c/></a>");
    ASSERT_TRUE(doc.NextElement("a"));
    doc.StepIn();
    EXPECT_EQ(doc.ElementName(), "");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "b");
}

TEST(XmlDoc, UnreadableFileLeavesAnEmptyDocument) {
    QTemporaryDir dir;
    QString path = dir.filePath("doc.xml");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<a><b>t</b></a>");
    f.close();

    CXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(path));
    ASSERT_TRUE(doc.NextChild());
    EXPECT_EQ(doc.ChildText(), "t");
    EXPECT_FALSE(doc.LoadFile(dir.filePath("missing.xml")));
    EXPECT_EQ(doc.ElementName(), "");
    EXPECT_FALSE(doc.NextElement());
    EXPECT_FALSE(doc.NextChild());
    EXPECT_EQ(doc.ChildText(), "");
    EXPECT_EQ(doc.AttributeValue("x"), "");
}
