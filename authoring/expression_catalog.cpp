#include "authoring/expression_catalog.h"

#include "authoring/xml/xml_doc.h"

std::optional<CExpressionPrototype> FindExpressionPrototype(CXmlDoc& xml, const QString& name) {
    std::optional<CExpressionPrototype> found;
    if (name.isEmpty()) return found;
    xml.Rewind();
    while (xml.NextElement()) {
        if (!xml.NextChild(name)) continue;
        xml.StepIn();
        CExpressionPrototype p;
        p.picture = xml.AttributeValue(QStringLiteral("关联波形"));
        p.inputs = xml.AttributeValue(QStringLiteral("输入口个数"));
        if (xml.NextChild()) {
            p.expression = xml.ChildText();
            p.description = xml.NextChild() ? xml.ChildText() : p.expression;
        }
        xml.StepOut();
        found = p;
    }
    return found;
}

QString MatchExpressionPrototype(CXmlDoc& xml, const QString& expression) {
    // A component whose expression could not be read matches nothing, not a prototype with an
    // empty expression.
    if (expression.isEmpty()) return {};
    xml.Rewind();
    while (xml.NextElement()) {
        while (xml.NextChild()) {
            xml.StepIn();
            bool match = xml.NextChild() && xml.ChildText() == expression;
            QString name = xml.ElementName();
            xml.StepOut();
            if (match) return name;
        }
    }
    return {};
}
