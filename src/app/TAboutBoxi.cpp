#include "app/TAboutBoxi.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include "app/CopyPicture.h"
#include "app/LocalText.h"

namespace sarvoli::app {

namespace {

constexpr const char* kEmail = "sarvoli3@example.org";
constexpr const char* kUrl = "https://example.org/sarvoli3";

// A panel with a lowered outer and a raised inner bevel.
class BevelPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        qDrawShadePanel(&p, rect(), palette(), true, 1);
        qDrawShadePanel(&p, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};

// The address of a link label: its text without the blanks and control characters around it.
std::string addressOf(const QLabel* label)
{
    std::string text = toLocal(label->text());
    const auto isEdge = [](char c) { return static_cast<unsigned char>(c) < 33; };
    while (!text.empty() && isEdge(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && isEdge(text[start]))
        ++start;
    return text.substr(start);
}

QLabel* placedLabel(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

}  // namespace

TAboutBoxi::TAboutBoxi(Shell& shell, QWidget* parent) : QDialog(parent), m_shell(shell)
{
    setObjectName(QStringLiteral("AboutBoxi"));
    setWindowTitle(QStringLiteral("Ohjelma"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(297, 177);

    auto* panel = new BevelPanel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 0, 297, 145);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(16, 8, 89, 81);
    icon->setPixmap(QPixmap::fromImage(programPicture()));
    icon->setScaledContents(true);

    QLabel* name = placedLabel(panel, "ProductName", QStringLiteral("Sarvoli3"), 137, 8);
    QFont big = font;
    big.setBold(true);
    big.setPixelSize(32);
    name->setFont(big);
    name->adjustSize();
    placedLabel(panel, "lbVersion", QStringLiteral("Versio 1b "), 167, 43);
    placedLabel(panel, "Label6", QStringLiteral("2008"), 176, 63);
    m_lbEmail = placedLabel(panel, "lbEmail", QString::fromLatin1(kEmail), 163, 112);
    m_lbUrl = placedLabel(panel, "lbUrl", QString::fromLatin1(kUrl), 134, 124);
    for (QLabel* link : {m_lbEmail, m_lbUrl}) {
        QFont underlined = font;
        underlined.setUnderline(true);
        link->setFont(underlined);
        QPalette blue = link->palette();
        blue.setColor(QPalette::WindowText, Qt::blue);
        link->setPalette(blue);
        link->adjustSize();
        link->installEventFilter(this);
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(119, 152, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TAboutBoxi::OKButtonClick);
    FormCreate();
}

void TAboutBoxi::FormCreate()
{
    m_lbEmail->setCursor(Qt::PointingHandCursor);
    m_lbUrl->setCursor(Qt::PointingHandCursor);
}

void TAboutBoxi::lbEmailClick() { m_shell.open("mailto:" + addressOf(m_lbEmail)); }

void TAboutBoxi::lbUrlClick() { m_shell.open(addressOf(m_lbUrl)); }

// Closing hides the box; the next "Tietoja" shows the same box again.
void TAboutBoxi::OKButtonClick() { close(); }

bool TAboutBoxi::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == m_lbEmail)
            lbEmailClick();
        else if (watched == m_lbUrl)
            lbUrlClick();
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBoxi::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

}  // namespace sarvoli::app
