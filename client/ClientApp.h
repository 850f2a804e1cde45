#pragma once
// The client's windows, created once in their fixed order, and start-up.

#include <memory>

class MainWindow;
class LoginWindow;
class MemberWindow;
class NewProjectWindow;
class ProjectWindow;
class TaskDispatchWindow;

class ClientApp {
public:
    ClientApp();
    ~ClientApp();

    // Shows the login modally; true when a member logged in and the main
    // window is shown. Quitting, or closing the login any other way, ends.
    bool logIn();

    MainWindow *mainWindow;
    LoginWindow *loginWindow; // null once the login has returned
    MemberWindow *memberWindow;
    NewProjectWindow *newProjectWindow;
    ProjectWindow *projectWindow;
    TaskDispatchWindow *dispatchWindow;

private:
    void wireTaskWindows();

    std::unique_ptr<MainWindow> main_;
    // Top-level windows of their own: a child widget of the main window would
    // be disabled together with it.
    std::unique_ptr<MemberWindow> members_;
    std::unique_ptr<NewProjectWindow> newProject_;
    std::unique_ptr<ProjectWindow> project_;
    std::unique_ptr<TaskDispatchWindow> dispatch_;
};
