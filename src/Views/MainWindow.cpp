#include "Views/MainWindow.h"

#include "Views/ContentView.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

MainWindow::MainWindow(const ViewContext &context, QWidget *parent)
    : QMainWindow(parent), m_content(new ContentView(context, this))
{
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumWidth, minimumHeight);
    placeForFirstLaunch();
    setCentralWidget(m_content);
    setAcceptDrops(true);
    setWindowTitle(m_content->title());
    connect(m_content, &ContentView::titleChanged, this, &QWidget::setWindowTitle);
}

QSize MainWindow::openingSize(QSize available)
{
    const auto fit = [](int room, int largest, int smallest) {
        return std::max(smallest, std::min(largest, int(room * 0.9)));
    };
    return {fit(available.width(), openingWidth, minimumWidth), fit(available.height(), openingHeight, minimumHeight)};
}

void MainWindow::placeForFirstLaunch()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        resize(openingSize({openingWidth * 10 / 9, openingHeight * 10 / 9}));
        return;
    }
    const QRect area = screen->availableGeometry();
    resize(openingSize(area.size()));
    // The frame is not known before the window is shown: the content is centred.
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) emit appeared();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit disappeared();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (m_content->acceptDrop(event->mimeData()->urls())) event->acceptProposedAction();
    else event->ignore();
}
