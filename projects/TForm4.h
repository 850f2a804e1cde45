#pragma once
// The new project window.
#include "ChildWindow.h"

class TForm4 : public ChildWindow {
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);
};
