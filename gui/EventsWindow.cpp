#include "EventsWindow.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace velmor {

CEventsWindow::CEventsWindow(QWidget* pParent) : QWidget(pParent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Events"));
    setObjectName(QStringLiteral("eventsWindow"));
    m_pTable = new QTableWidget(0, 3, this);
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Time (UTC)"), QStringLiteral("Event"), QStringLiteral("Values")});
    // Time and event name always readable whole; the values take the rest.
    m_pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pTable);
    resize(720, 300);
}

void CEventsWindow::AddEvent(const QString& time, const QString& name, const QString& values)
{
    if (m_pTable->rowCount() >= kMaxRows) m_pTable->removeRow(0);
    const int row = m_pTable->rowCount();
    m_pTable->insertRow(row);
    m_pTable->setItem(row, 0, new QTableWidgetItem(time));
    m_pTable->setItem(row, 1, new QTableWidgetItem(name));
    m_pTable->setItem(row, 2, new QTableWidgetItem(values));
    m_pTable->scrollToBottom();
}

}  // namespace velmor
