#include "app/output_bar.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QResizeEvent>

#include "app/common/frame_events.h"
#include "app/common/framed_pane.h"
#include "app/common/icons.h"
#include "app/device/device.h"

COutputList::COutputList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("outputList"));
    setColumnCount(3);
    setHeaderLabels(
        {QStringLiteral("信息类别"), QStringLiteral("时间"), QStringLiteral("信息内容")});
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // the text column follows the pane
    QFont f(QStringLiteral("Microsoft Sans Serif"));
    f.setPixelSize(16);
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    header()->setMinimumSectionSize(16);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Fixed);
    setColumnWidth(0, 20);
    setColumnWidth(1, TimeColumnWidth());
    setColumnWidth(2, 600);
    for (int level = 1; level <= 3; ++level) m_levelIcons[level - 1] = LevelIcon(level);
}

void COutputList::AddMessage(unsigned level, const QString& time, const QString& text) {
    auto* item = new QTreeWidgetItem;
    if (level >= 1 && level <= 3) item->setIcon(0, m_levelIcons[level - 1]);
    item->setData(0, Qt::UserRole, level);
    item->setText(1, time);
    item->setText(2, text);
    item->setToolTip(2, text);
    insertTopLevelItem(0, item);
}

int COutputList::TimeColumnWidth() const {
    // 60 pixels, unless the font in use needs more to show "HH:MM:SS" whole.
    return qMax(60, fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 10);
}

void COutputList::LayoutColumns(int paneWidth) {
    setColumnWidth(0, 20);
    setColumnWidth(1, TimeColumnWidth());
    setColumnWidth(2, qMax(0, paneWidth - 22 - TimeColumnWidth()));
}

COutputBar::COutputBar(QWidget* parent) : QDockWidget(QStringLiteral("输出"), parent) {
    setObjectName(QStringLiteral("outputBar"));
    m_list = new COutputList;
    setWidget(new CFramedPane(m_list, this));
}

COutputBar::~COutputBar() { DetachLog(); }

void COutputBar::AttachLog(CDevice& device) {
    DetachLog();
    m_logDevice = &device;
    device.SetLogReceiver([this](unsigned level, const QString& time, const QString& text) {
        QCoreApplication::postEvent(this, new CInfoMessageEvent(level, time, text));
    });
}

void COutputBar::DetachLog() {
    // Once this returns, the receiver runs no more: nothing is posted to a dead pane.
    if (m_logDevice) m_logDevice->SetLogReceiver(nullptr);
    m_logDevice = nullptr;
}

bool COutputBar::event(QEvent* e) {
    if (e->type() == KvsEvent::InfoMessage) {
        auto* info = static_cast<CInfoMessageEvent*>(e);
        m_list->AddMessage(info->level, info->time, info->text);
        return true;
    }
    return QDockWidget::event(e);
}

void COutputBar::resizeEvent(QResizeEvent* e) {
    QDockWidget::resizeEvent(e);
    m_list->LayoutColumns(width());
}
