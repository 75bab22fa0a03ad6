// The docking pane "输出": the application's message log on screen. It receives every line
// logged through the device-call layer (the library's own and the program's) as a
// CInfoMessageEvent and inserts it at the top of the list (newest first), with its level icon,
// time and text. Rows are never removed.
//
// Threads: the device's log receiver runs on any thread and only posts an event. Everything
// else runs on the user-interface thread.
#pragma once

#include <QDockWidget>
#include <QTreeWidget>
#include <cstdint>

class CDevice;

class COutputList : public QTreeWidget {
    Q_OBJECT
  public:
    static constexpr int kIconWidth = 20;
    static constexpr int kTimeWidth = 60;

    explicit COutputList(QWidget* parent = nullptr);
    // Inserts a line at the top: icon for level (1 warning, 2 information, 3 debug, else none).
    void AddMessage(unsigned level, const QString& time, const QString& text);
    // Widths: icon 20, time 60, text the rest of the pane's width less the 2-pixel frame (the
    // pane's width minus 82 pixels).
    void LayoutColumns(int paneWidth);
    // The time column's font: the list's, smaller where "HH:MM:SS" would not fit in 60 pixels.
    const QFont& TimeFont() const { return m_timeFont; }

  private:
    QIcon m_levelIcons[3];
    QFont m_timeFont;
};

class COutputBar : public QDockWidget {
    Q_OBJECT
  public:
    static constexpr int kPaneId = 149;

    explicit COutputBar(QWidget* parent = nullptr);
    ~COutputBar() override;

    COutputList* List() const { return m_list; }

    // Shows the lines that device logs from now on; DetachLog (or destruction) stops that.
    // The device must outlive the attachment.
    void AttachLog(CDevice& device);
    void DetachLog();

  protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    COutputList* m_list;
    CDevice* m_logDevice = nullptr;
};
