#pragma once
// The member management window.
#include "ChildWindow.h"

class TForm3 : public ChildWindow {
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);
};
