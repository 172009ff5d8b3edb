// The baselines of the idle benchmark: an empty Qt window of the watch window's size, or (with
// --text) the same window showing one label and one focused text field, so that fonts are loaded
// and a caret blinks as in any window one can type into.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    const bool withText = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare");
    window.resize(784, 700);
    std::unique_ptr<QLabel> label;
    std::unique_ptr<QLineEdit> edit;
    if (withText) {
        label = std::make_unique<QLabel>("Minutes between checks", &window);
        label->move(8, 522);
        edit = std::make_unique<QLineEdit>("60", &window);
        edit->setGeometry(144, 520, 49, 22);
        edit->setFocus();
    }
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
