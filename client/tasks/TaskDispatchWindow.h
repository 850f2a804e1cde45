#pragma once
// The task dispatch window.
#include "ChildWindow.h"

class TaskDispatchWindow : public ChildWindow {
    Q_OBJECT
public:
    explicit TaskDispatchWindow(QWidget *parent = nullptr);
};
