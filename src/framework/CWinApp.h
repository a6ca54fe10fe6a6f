// The application object: exactly one, global, built before start-up. AfxWinMain picks the host,
// hands the object the command-line tail, runs InitInstance and ends with ExitInstance's result.
#pragma once

#include <string>
#include <string_view>

namespace omblor::framework {

class CDialog;

class CWinApp {
  public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // Returns true to run a message loop of the framework's own; the program's returns false.
    virtual bool InitInstance() { return false; }
    virtual int ExitInstance() { return 0; }

    std::string m_pszAppName;  // executable name without extension
    std::string m_lpCmdLine;   // the command-line tail
    CDialog* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// The caption of message boxes.
std::string_view AfxGetAppName();

// Program entry: chooses the host (console or Qt), then runs the application object.
int AfxWinMain(int argc, char** argv);

// The command-line tail as the platform would pass it: the arguments after the program's name,
// joined by single blanks.
std::string CommandLineTail(int argc, char** argv);
// The executable's name without folder and extension.
std::string AppNameFromPath(std::string_view argv0);

}  // namespace omblor::framework
