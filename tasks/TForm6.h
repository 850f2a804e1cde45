#pragma once
// The task dispatch window.
#include "ChildWindow.h"

class TForm6 : public ChildWindow {
    Q_OBJECT
public:
    explicit TForm6(QWidget *parent = nullptr);
};
