#include "app/output_bar.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QResizeEvent>
#include <mutex>
#include <set>

#include "app/common/frame_events.h"
#include "app/common/framed_pane.h"
#include "app/device/gbk_text.h"
#include "app/common/icons.h"
#include "kvsh_user.h"

namespace {
// The output panes alive; the post function checks membership under the lock, so a line
// logged on a receive thread while a pane is destroyed is dropped instead of being posted to a
// dead object.
std::mutex g_panesLock;
std::set<void*> g_panes;
}  // namespace

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
    std::lock_guard<std::mutex> g(g_panesLock);
    g_panes.insert(this);
}

COutputBar::~COutputBar() {
    {
        std::lock_guard<std::mutex> g(g_panesLock);
        g_panes.erase(this);
    }
    KVS_RegistInfoWnd(nullptr);
}

void COutputBar::RegisterWithLibrary() {
    KVS_RegistInfoPostFunc(&COutputBar::PostInfo);
    KVS_RegistInfoWnd(this);
}

void COutputBar::PostInfo(void* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam) {
    if (msg != KVS_WM_INFO_MESSAGE || !lParam) return;
    // The ring entry is reused 32 lines later: copy it now, on the caller's thread.
    const auto* entry = reinterpret_cast<const KVS_LOG_ENTRY*>(lParam);
    QString time = FromGbk(entry->time, sizeof entry->time);
    QString text = FromGbk(entry->text, sizeof entry->text);
    std::lock_guard<std::mutex> g(g_panesLock);
    if (!g_panes.count(wnd)) return;
    QCoreApplication::postEvent(static_cast<COutputBar*>(wnd),
                                new CInfoMessageEvent(unsigned(wParam), time, text));
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
