#include "NoticeWindow.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "display/MessageWindow.h"

namespace velmor {

CNoticeWindow::CNoticeWindow(CMessageWindow& window, QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_window(window)
{
    // The notice comes every two seconds while the unit is silent; it must
    // not take the keyboard away from what the user is typing into.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setModal(false);
    setWindowTitle(QString::fromStdString(window.m_strCaption));
    m_strText = QString::fromStdString(window.m_strText);

    auto* pLabel = new QLabel(m_strText, this);
    pLabel->setObjectName("noticeText");
    pLabel->setWordWrap(true);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setMinimumWidth(150);
    auto* pCancel = new QPushButton("Cancel", this);
    pCancel->setObjectName("noticeCancel");
    pCancel->setAutoDefault(false);
    // Cancel ends the dialog, which only hides it: the timer keeps running.
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pLabel, 1);
    auto* pRow = new QHBoxLayout;
    pRow->addStretch(1);
    pRow->addWidget(pCancel);
    pLayout->addLayout(pRow);
    setMinimumSize(200, 110);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_window.OnTimer(); });
}

void CNoticeWindow::Start()
{
    adjustSize();
    if (QWidget* pParent = parentWidget()) {
        const QPoint centre = pParent->mapToGlobal(pParent->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    show();
    m_timer.start(std::clamp(m_window.m_nSeconds, 0, 86400) * 1000);
}

QString CNoticeWindow::Text() const { return m_strText; }

}  // namespace velmor
