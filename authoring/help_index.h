// CHelpIndex: opens the manual's topics for a key. The index help/help.xml lists entries whose
// element name is a topic key and whose attribute "目录地址" is the topic's address inside the
// manual (a page of help/manual/, optionally with "#anchor"). A key such as "定时器-5" asks for
// the topic "定时器": the text before its first "-". Every matching entry opens its topic, in
// document order; a missing index, page or key opens nothing and says nothing.
#pragma once

#include <QString>

// Shows one topic: the manual's folder and the address inside it.
class IHelpViewer {
  public:
    virtual ~IHelpViewer() = default;
    virtual void ShowTopic(const QString& manual, const QString& address) = 0;
};

class CHelpIndex {
  public:
    // The paths come from dataRoot (by default the working directory, or the executable's
    // directory when help/ is not in the working directory).
    explicit CHelpIndex(IHelpViewer& viewer, const QString& dataRoot = QString());

    void OpenTopic(const QString& key);

    // The text before the first "-"; empty for a key without "-".
    static QString TopicKey(const QString& key);

    QString IndexPath() const { return m_index; }
    QString ManualPath() const { return m_manual; }

  private:
    IHelpViewer& m_viewer;
    QString m_index;
    QString m_manual;
};

// The program's own help window as the viewer (created on first use, one per process).
IHelpViewer& HelpWindowViewer();
