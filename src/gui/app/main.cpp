#include "app/Application.h"
#include "app/Forms.h"
#include "app/MainForm.h"

int main(int argc, char** argv) {
    tabula::TApplication app(argc, argv);
    tabula::CreateForms();
    tabula::MainForm->show();
    const int result = tabula::TApplication::exec();
    tabula::DestroyForms();
    return result;
}
