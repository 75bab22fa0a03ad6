#include "authoring/dlg_expression_panel.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "app/common/frame_events.h"
#include "app/common/icons.h"
#include "app/device/device.h"
#include "authoring/data_paths.h"
#include "authoring/expression_catalog.h"

namespace {
const QString kCatalogFile = QStringLiteral("expression/expcfg.xml");
const QString kRootText = QStringLiteral("运算表达式");
const QString kAttrInputs = QStringLiteral("输入槽位个数");
const QString kAttrExpression = QStringLiteral("运算表达式");
const QString kAttrComment = QStringLiteral("用户注释");
}  // namespace

CExpressionPicture::CExpressionPicture(QWidget* parent) : QWidget(parent) {}

void CExpressionPicture::SetPath(const QString& path) {
    if (path != m_path) {
        m_path = path;
        m_image = path.isEmpty() ? QImage() : QImage(path, "BMP");
    }
    update();
}

void CExpressionPicture::paintEvent(QPaintEvent*) {
    if (m_image.isNull()) return;
    QPainter p(this);
    p.setClipRect(rect());
    p.drawImage(QPoint(0, 0), m_image);
}

CDlgExpressionPanel::CDlgExpressionPanel(CDevice& device, const QString& component, QObject* frame,
                                         QWidget* parent)
    : QDialog(parent),
      m_device(device),
      m_component(component),
      m_frame(frame),
      m_szWorkDir(FindDataRoot(kCatalogFile)),
      m_strCatalogPath(m_szWorkDir + u'/' + kCatalogFile) {
    setObjectName(QStringLiteral("CDlgExpressionPanel"));
    setWindowTitle(QStringLiteral("运算表达式面板"));

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("catalogTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setMinimumWidth(200);
    m_alias = new QLineEdit(this);
    m_alias->setObjectName(QStringLiteral("aliasEdit"));
    m_expression = new QPlainTextEdit(this);
    m_expression->setObjectName(QStringLiteral("expressionEdit"));
    m_expression->setFixedHeight(44);
    m_inputs = new QLineEdit(this);
    m_inputs->setObjectName(QStringLiteral("inputCountEdit"));
    m_description = new QPlainTextEdit(this);
    m_description->setObjectName(QStringLiteral("descriptionEdit"));
    m_description->setReadOnly(true);
    m_description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_picture = new CExpressionPicture(this);
    m_picture->setObjectName(QStringLiteral("pictureArea"));
    m_picture->setMinimumSize(440, 380);

    auto* boxes = new QVBoxLayout;
    boxes->addWidget(new QLabel(QStringLiteral("组件别名:"), this));
    boxes->addWidget(m_alias);
    boxes->addWidget(new QLabel(QStringLiteral("运算表达式原型:"), this));
    boxes->addWidget(m_expression);
    boxes->addWidget(new QLabel(QStringLiteral("输入口数目:"), this));
    boxes->addWidget(m_inputs);
    boxes->addWidget(new QLabel(QStringLiteral("组件说明:"), this));
    boxes->addWidget(m_description, 1);

    auto* add = new QPushButton(QStringLiteral("添加"), this);
    add->setObjectName(QStringLiteral("addButton"));
    add->setDefault(true);
    auto* quit = new QPushButton(QStringLiteral("退出"), this);
    quit->setObjectName(QStringLiteral("exitButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addStretch(1);
    buttons->addWidget(quit);
    buttons->addStretch(2);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_tree, 0, 0);
    grid->addLayout(boxes, 0, 1);
    grid->addWidget(m_picture, 0, 2);
    grid->addLayout(buttons, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OnSelectionChanged(item); });
    connect(add, &QPushButton::clicked, this, &CDlgExpressionPanel::Add);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

bool CDlgExpressionPanel::Load() {
    CDeviceOperation operation(m_device, QStringLiteral("运算表达式面板"));
    BuildTree();
    DeviceResult<QString> comment = m_device.GetAttrVal(m_component, kAttrComment);
    DeviceResult<QString> expression = m_device.GetAttrVal(m_component, kAttrExpression);
    m_alias->setText(comment.value);
    SelectMatching(expression.value);
    return !operation.Silent() && comment.Answered() && expression.Answered();
}

QString CDlgExpressionPanel::PicturePath() const {
    return m_strPicture.isEmpty() ? QString() : m_szWorkDir + m_strPicture;
}

void CDlgExpressionPanel::BuildTree() {
    m_xml.LoadFile(m_strCatalogPath);  // an unreadable file leaves the document empty
    m_xml.Rewind();
    m_tree->clear();
    auto* root = new QTreeWidgetItem(m_tree, QStringList(kRootText));
    root->setIcon(0, TreeIcon(IMG_ROOT));
    while (m_xml.NextElement()) {
        auto* category = new QTreeWidgetItem(root, QStringList(m_xml.ElementName()));
        category->setIcon(0, TreeIcon(IMG_TYPE));
        while (m_xml.NextChild()) {
            auto* prototype = new QTreeWidgetItem(category, QStringList(m_xml.ChildName()));
            prototype->setIcon(0, TreeIcon(IMG_INSTANCE));
        }
        category->setExpanded(true);
    }
    root->setExpanded(true);
}

void CDlgExpressionPanel::OnSelectionChanged(QTreeWidgetItem* item) {
    if (!item) return;
    const QString name = item->text(0);
    if (!m_initialSelection) m_alias->setText(name);
    std::optional<CExpressionPrototype> p = FindExpressionPrototype(m_xml, name);
    if (!p) return;  // the root and the categories change only the alias
    m_strPicture = p->picture;
    m_inputs->setText(p->inputs);
    m_expression->setPlainText(p->expression);
    m_description->setPlainText(p->description);
    m_picture->SetPath(PicturePath());
}

void CDlgExpressionPanel::SelectMatching(const QString& expression) {
    const QString match = MatchExpressionPrototype(m_xml, expression);
    m_initialSelection = true;
    QTreeWidgetItem* root = m_tree->topLevelItem(0);
    m_tree->setCurrentItem(root);
    if (!match.isEmpty()) {
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
            if ((*it)->text(0) == match) {
                m_tree->setCurrentItem(*it);
                break;
            }
        }
    }
    m_initialSelection = false;
}

void CDlgExpressionPanel::Add() {
    {
        CDeviceOperation operation(m_device, QStringLiteral("运算表达式面板"));
        // The box's text as it stands: the device checks the number itself.
        m_device.SetAttributeVal(m_component, kAttrInputs, m_inputs->text());
        m_device.SetAttributeVal(m_component, kAttrExpression, m_expression->toPlainText());
        m_device.SetAttributeVal(m_component, kAttrComment, m_alias->text());
    }
    if (m_frame)
        QCoreApplication::postEvent(m_frame,
                                    new CFrameNotifyEvent(NOTIFY_COMPONENT_CHANGED, m_component));
    accept();
}
