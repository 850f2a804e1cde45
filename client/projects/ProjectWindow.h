#pragma once
// The project and task details window.
#include "ChildWindow.h"

class ProjectWindow : public ChildWindow {
    Q_OBJECT
  public:
    explicit ProjectWindow(QWidget *parent = nullptr);
    void refill() {}
};
