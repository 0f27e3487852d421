#pragma once

#include "Views/ViewContext.h"

#include <QMainWindow>

class ContentView;

// The application's one window ("main"): the shell as its content; the menus are added by the
// application. It reports each appearance and each close, which the application reacts to.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(const ViewContext &context, QWidget *parent = nullptr);

    ContentView *content() const { return m_content; }

    static constexpr int minimumWidth = 1100;
    static constexpr int minimumHeight = 720;

signals:
    void appeared();
    void disappeared();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Files dropped on the menu bar count as dropped on the window.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    ContentView *m_content;
};
