#include "ClientApp.h"

#include "TForm1.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"
#include "TForm5.h"
#include "TForm6.h"

ClientApp::ClientApp() {
    main_ = std::make_unique<TForm1>();
    Form1 = main_.get();
    Form2 = new TForm2(Form1);
    form3_ = std::make_unique<TForm3>(&Form1->mLogininf);
    form4_ = std::make_unique<TForm4>();
    form5_ = std::make_unique<TForm5>();
    form6_ = std::make_unique<TForm6>();
    Form3 = form3_.get();
    Form4 = form4_.get();
    Form5 = form5_.get();
    Form6 = form6_.get();
    Form1->setMenuWindows(Form4, Form3);
}

ClientApp::~ClientApp() {
    delete Form2;
    // Children before the main window, whose timer they never see.
    form6_.reset();
    form5_.reset();
    form4_.reset();
    form3_.reset();
    main_.reset();
}

bool ClientApp::logIn() {
    const bool loggedIn = Form2->exec() == QDialog::Accepted && Form1->hasMember();
    delete Form2;
    Form2 = nullptr;
    if (loggedIn)
        Form1->show();
    return loggedIn;
}
