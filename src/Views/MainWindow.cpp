#include "Views/MainWindow.h"

#include "Views/ContentView.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QShowEvent>

MainWindow::MainWindow(const ViewContext &context, QWidget *parent)
    : QMainWindow(parent), m_content(new ContentView(context, this))
{
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(1280, 800);
    setCentralWidget(m_content);
    setAcceptDrops(true);
    setWindowTitle(m_content->title());
    connect(m_content, &ContentView::titleChanged, this, &QWidget::setWindowTitle);
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
