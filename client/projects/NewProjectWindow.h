#pragma once
// The new project window.
#include "ChildWindow.h"

class NewProjectWindow : public ChildWindow {
    Q_OBJECT
  public:
    explicit NewProjectWindow(QWidget *parent = nullptr);
};
