// Start-up of the program: command line, settings store, looks, the main frame, the optional
// in-process simulated controller of the demo, and the project file named on the command line.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class CMainFrame;
namespace devsim {
class Device;
}

struct StartOptions {
    bool demo = false;    // --demo: start the simulated controller and connect to it
    QString projectFile;  // a project file to open at start-up
    QString screenshot;   // --screenshot FILE: save the window as PNG once connected, quit
    bool help = false;
    bool version = false;  // --version: print the version and quit
    bool service = false;  // --service: the firmware dialog offers its endurance test
    QString error;         // not empty: the command line was refused
};

StartOptions ParseCommandLine(const QStringList& args);
QString UsageText();

class CKorvessaApp {
  public:
    CKorvessaApp();
    ~CKorvessaApp();
    // Builds the frame and carries out the command line; the caller runs the event loop.
    // Returns false when start-up failed (the message was shown).
    bool Start(const StartOptions& options);
    CMainFrame* Frame() const { return m_frame.get(); }
    devsim::Device* Simulator() const { return m_device.get(); }

    // Starts the demo controller on 127.0.0.1:30001; false with *error when it cannot.
    bool StartSimulator(QString* error);
    // The demo's connect flow: the controller's key, then UDP to 127.0.0.1.
    bool ConnectToSimulator();

  private:
    std::unique_ptr<devsim::Device> m_device;  // outlives the frame's link (declared first)
    std::unique_ptr<CMainFrame> m_frame;
};
