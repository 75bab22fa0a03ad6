// The searches of the expression catalogue, on a CXmlDoc holding it. Top-level elements are
// categories, their children prototypes; a prototype's attributes "关联波形" (picture) and
// "输入口个数" (inputs), its first child's text the expression, its second the description.
#pragma once

#include <QString>
#include <optional>

class CXmlDoc;

struct CExpressionPrototype {
    QString picture;  // appended to the data directory as it stands
    QString inputs;
    QString expression;
    QString description;
};

// The prototype shown for a tree item of this name: every category is searched in document
// order for its first child of the name, and a later category's prototype replaces an earlier
// one. A prototype without a second child shows its expression as description too. None when
// no category has such a child (the root and category items).
std::optional<CExpressionPrototype> FindExpressionPrototype(CXmlDoc& xml, const QString& name);

// The name of the first prototype in document order whose expression equals expression
// exactly; empty when none does or expression is empty.
QString MatchExpressionPrototype(CXmlDoc& xml, const QString& expression);
