#include "ClientApp.h"

#include "members/MemberWindow.h"
#include "projects/NewProjectWindow.h"
#include "projects/ProjectWindow.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskWorkflow.h"

ClientApp::ClientApp() {
    main_ = std::make_unique<MainWindow>();
    mainWindow = main_.get();
    loginWindow = new LoginWindow(mainWindow);
    members_ = std::make_unique<MemberWindow>(&mainWindow->currentMember);
    newProject_ = std::make_unique<NewProjectWindow>(*mainWindow);
    project_ = std::make_unique<ProjectWindow>(*mainWindow, newProject_.get());
    dispatch_ = std::make_unique<TaskDispatchWindow>(*mainWindow);
    memberWindow = members_.get();
    newProjectWindow = newProject_.get();
    projectWindow = project_.get();
    dispatchWindow = dispatch_.get();
    mainWindow->setMenuWindows(newProjectWindow, memberWindow);
    mainWindow->setProjectWindow(projectWindow);
    wireTaskWindows();
    memberWindow->setOnOwnLoginChanged([this](const Member &login) {
        mainWindow->followOwnLogin(login);
    });
    // The main window is disabled while a child is open: the child stays in front.
    for (ChildWindow *child : std::initializer_list<ChildWindow *>{memberWindow, newProjectWindow,
                                                                   projectWindow, dispatchWindow})
        child->keepInFrontOf(mainWindow);
}

ClientApp::~ClientApp() {
    delete loginWindow;
    // Children before the main window, whose timer they never see.
    dispatch_.reset();
    project_.reset();
    newProject_.reset();
    members_.reset();
    main_.reset();
}

// Every task change re-fills the project window (also while hidden), and
// both task places re-edit through the dispatch window.
void ClientApp::wireTaskWindows() {
    auto refreshProjectWindow = [this] {
        if (!projectWindow->project.id.isEmpty())
            projectWindow->refill();
    };
    for (TaskWorkflow *workflow : {mainWindow->taskWorkflow, projectWindow->taskWorkflow}) {
        workflow->setRefreshProjectWindow(refreshProjectWindow);
        workflow->setDispatchWindow(dispatchWindow);
    }
    dispatchWindow->setAfterChange(refreshProjectWindow);
    // Closing the dispatch window gives the project window back, whoever opened it.
    dispatchWindow->setEnablesOnClose(projectWindow);
    projectWindow->setDispatchOpener([this] {
        dispatchWindow->beginDispatch(&projectWindow->project);
        dispatchWindow->keepInFrontOf(projectWindow);
        projectWindow->setEnabled(false);
        try {
            dispatchWindow->refill();
        } catch (...) {
            projectWindow->setEnabled(true);
            throw;
        }
        dispatchWindow->show();
    });
}

bool ClientApp::logIn() {
    const bool loggedIn = loginWindow->exec() == QDialog::Accepted && mainWindow->hasMember();
    delete loginWindow;
    loginWindow = nullptr;
    if (loggedIn)
        mainWindow->show();
    return loggedIn;
}
