#include "app/frmHelp.h"

#include "app/HelpText.h"
#include "platform/Keyboard.h"
#include "platform/Twips.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <utility>

QPointer<frmHelp> frmHelp::s_instance;

namespace {

constexpr double kCloseWidth = 1215;
constexpr double kCloseHeight = 315;

// Window sizes below the layout's margins would give negative sizes; such controls simply shrink to nothing.
double atLeastZero(double twips) {
    return std::max(0.0, twips);
}

}  // namespace

void frmHelp::ShowHelp(QWidget* mainWindow) {
    if (!s_instance) {
        // Unloaded by its close box (or never loaded): load it afresh.
        s_instance = new frmHelp(mainWindow);
    }
    s_instance->show();
    s_instance->raise();
    s_instance->activateWindow();
}

frmHelp* frmHelp::instance() {
    return s_instance.data();
}

frmHelp::frmHelp(QWidget* mainWindow) : QWidget(mainWindow, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    // The close box unloads the window; "Close" only hides it.
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(windowPalette);

    m_txbHelpScreen = new QPlainTextEdit(this);
    m_txbHelpScreen->setObjectName(QStringLiteral("txbHelpScreen"));
    m_txbHelpScreen->setAccessibleName(QStringLiteral("Help text"));
    m_txbHelpScreen->setGeometry(Twips::rect(120, 120, 7785, 6330));
    m_txbHelpScreen->setReadOnly(true);
    m_txbHelpScreen->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_txbHelpScreen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txbHelpScreen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Reachable by a click but skipped by Tab; from the keyboard the window scrolls it (eventFilter).
    m_txbHelpScreen->setFocusPolicy(Qt::ClickFocus);
    QPalette textPalette = m_txbHelpScreen->palette();
    textPalette.setColor(QPalette::Base, Qt::white);
    m_txbHelpScreen->setPalette(textPalette);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    m_txbHelpScreen->setFont(font);

    m_cmdClose = new QPushButton(this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdClose->setGeometry(Twips::rect(3045, 6615, kCloseWidth, kCloseHeight));
    connect(m_cmdClose, &QPushButton::clicked, this, &frmHelp::cmdClose_Click);
    Keyboard::PressButtonsWithEnter(this);
    m_cmdClose->installEventFilter(this);

    Form_Load(mainWindow);
    s_instance = this;
}

frmHelp::~frmHelp() = default;

void frmHelp::Form_Load(QWidget* mainWindow) {
    if (mainWindow) {
        const QPoint mainPos = mainWindow->pos();
        const QSize mainSize = mainWindow->size();
        move(Twips::toPixels(Twips::fromPixels(mainPos.x()) + 200),
             Twips::toPixels(Twips::fromPixels(mainPos.y()) + 480));
        resize(Twips::toPixels(atLeastZero(Twips::fromPixels(mainSize.width()) - 400)),
               Twips::toPixels(atLeastZero(Twips::fromPixels(mainSize.height()) - 680)));
    } else {
        resize(Twips::toPixels(7785 + 350), Twips::toPixels(6330 + 1080));
    }
    // The text box breaks paragraphs at LF; a CR would make a line break of its own.
    QString text = BuildHelpText();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_txbHelpScreen->setPlainText(text);
    setWindowTitle(QStringLiteral("Help screen for Vornask"));
    m_cmdClose->setText(QStringLiteral("Close"));
    m_cmdClose->setAccessibleName(QStringLiteral("Close"));
    Form_Resize();
}

void frmHelp::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

// Escape puts the window away as "Close" does.
void frmHelp::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdClose_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Tab does not reach the text, so while "Close" has the focus the arrow, page, Home and End keys
// scroll it (the button would otherwise move the focus with the arrows, to itself).
bool frmHelp::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_cmdClose || event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier) {
        return false;
    }
    static const std::pair<int, QAbstractSlider::SliderAction> actions[] = {
        {Qt::Key_Up, QAbstractSlider::SliderSingleStepSub},   {Qt::Key_Down, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub}, {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Home, QAbstractSlider::SliderToMinimum},     {Qt::Key_End, QAbstractSlider::SliderToMaximum}};
    for (const auto& [scrollKey, action] : actions) {
        if (key->key() == scrollKey) {
            m_txbHelpScreen->verticalScrollBar()->triggerAction(action);
            return true;
        }
    }
    return false;
}

void frmHelp::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A window restored from the task bar may have been resized while it was minimised.
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) {
        Form_Resize();
    }
}

void frmHelp::Form_Resize() {
    // A minimised window keeps the layout it had, ready for when it is restored.
    if (isMinimized()) {
        return;
    }
    const double W = Twips::fromPixels(width());
    const double H = Twips::fromPixels(height());
    m_txbHelpScreen->setGeometry(Twips::rect(120, 120, atLeastZero(W - 350), atLeastZero(H - 1080)));
    const double closeLeft = Twips::roundHalfEven((W - kCloseWidth) / 2);
    m_cmdClose->setGeometry(Twips::rect(closeLeft, H - 800, kCloseWidth, kCloseHeight));
}

void frmHelp::cmdClose_Click() {
    hide();
}

F1HelpFilter::F1HelpFilter(std::function<void()> onF1, QObject* parent) : QObject(parent), m_onF1(std::move(onF1)) {}

void F1HelpFilter::watch(QWidget* widget) {
    if (widget) {
        widget->installEventFilter(this);
    }
}

bool F1HelpFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A held key repeats its release on some systems; only the real release counts.
        if (key->key() == Qt::Key_F1 && !key->isAutoRepeat() && m_onF1) {
            m_onF1();
        }
    }
    return QObject::eventFilter(watched, event);
}
