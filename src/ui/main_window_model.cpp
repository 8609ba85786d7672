#include "ui/main_window_model.h"

namespace kestrine::ui {

MainWindowModel& MainWindow() {
    static MainWindowModel model;
    return model;
}

}  // namespace kestrine::ui
