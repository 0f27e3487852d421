#include "Views/Components/DetailPane.h"

#include <QVBoxLayout>

DetailPane::DetailPane(const char *objectName, QWidget *parent) : QScrollArea(parent)
{
    setObjectName(QString::fromLatin1(objectName));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

DetailPane::DetailPane(const char *objectName, int padding, int spacing, QWidget *parent)
    : DetailPane(objectName, parent)
{
    m_content = new QWidget(this);
    m_column = new QVBoxLayout(m_content);
    m_column->setContentsMargins(padding, padding, padding, padding);
    m_column->setSpacing(spacing);
}

void DetailPane::finish()
{
    m_column->addStretch(1);
    setWidget(m_content);
}
