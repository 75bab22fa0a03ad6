// The program's help window: the manual's HTML pages in a text browser with back, forward
// and home, links between pages followed inside the window.
#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "authoring/help_index.h"

class QTextBrowser;
class QToolBar;

class CHelpWindow : public QWidget {
    Q_OBJECT
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows a page of the manual; home is the manual's main page.
    void ShowPage(const QUrl& page, const QUrl& home);
    QTextBrowser* Browser() const { return m_browser; }
    QUrl Home() const { return m_home; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QTextBrowser* m_browser;
    QUrl m_home;
};

// The viewer of the running program: the topic's page in the (one) help window, raised.
class CHelpWindowViewer : public IHelpViewer {
  public:
    void ShowTopic(const QString& manual, const QString& address) override;
    CHelpWindow* Window() const { return m_window; }

    // The page a topic address names: the manual's folder joined with the address, with its
    // "#anchor" kept; an empty URL for a page that does not exist.
    static QUrl PageUrl(const QString& manual, const QString& address);

  private:
    QPointer<CHelpWindow> m_window;
};
