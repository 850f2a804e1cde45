#pragma once
// The project and task details window.
#include "ChildWindow.h"

class TForm5 : public ChildWindow {
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
    void Forminit() {}
};
