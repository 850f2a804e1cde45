#pragma once
// The client's six windows, created once in their fixed order, and start-up.

#include <memory>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;

class ClientApp {
public:
    ClientApp();
    ~ClientApp();

    // Shows the login modally; true when a member logged in and the main
    // window is shown. Quitting, or closing the login any other way, ends.
    bool logIn();

    TForm1 *Form1;
    TForm2 *Form2; // null once the login has returned
    TForm3 *Form3;
    TForm4 *Form4;
    TForm5 *Form5;
    TForm6 *Form6;

private:
    std::unique_ptr<TForm1> main_;
    // Top-level windows of their own: a child widget of the main window would
    // be disabled together with it.
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm4> form4_;
    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<TForm6> form6_;
};
