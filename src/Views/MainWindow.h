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
    // The largest size the window opens at: the screens' content at its ideal widths.
    static constexpr int openingWidth = 1600;
    static constexpr int openingHeight = 1000;
    // The size a first launch opens at on a screen with this available area: the largest up to
    // 1600x1000 that fits 90 % of it, never below the minimum.
    static QSize openingSize(QSize available);
    // Opens at the opening size, centred in the screen's available area.
    void placeForFirstLaunch();

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
