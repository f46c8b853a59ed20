#include "qt/gutter_text_view.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace qtfront {

namespace {
// Room left and right of the gutter's labels, in pixels.
constexpr int kGutterPadding = 4;
}  // namespace

class GutterTextView::Gutter : public QWidget {
  public:
    explicit Gutter(GutterTextView* owner) : QWidget(owner), view(owner) {}
    QSize sizeHint() const override { return {view->GutterWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { view->PaintGutter(event); }

  private:
    GutterTextView* view;
};

GutterTextView::GutterTextView(QWidget* parent) : QPlainTextEdit(parent), gutter(new Gutter(this)) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    connect(this, &QPlainTextEdit::updateRequest, gutter, [this](const QRect& rect, int dy) {
        if (dy != 0) {
            gutter->scroll(0, dy);
        } else {
            gutter->update(0, rect.y(), gutter->width(), rect.height());
        }
    });
}

int GutterTextView::GutterWidth() const {
    if (characters == 0) return 0;
    return fontMetrics().horizontalAdvance(QString(characters, QLatin1Char('0'))) +
           2 * kGutterPadding;
}

void GutterTextView::SetGutter(int width, std::map<int, QString> shown) {
    characters = width;
    labels = std::move(shown);
    setViewportMargins(GutterWidth(), 0, 0, 0);
    const QRect area = contentsRect();
    gutter->setGeometry(area.left(), area.top(), GutterWidth(), area.height());
    gutter->update();
}

void GutterTextView::SetEmphasised(int line) {
    emphasised = line;
    gutter->update();
}

QString GutterTextView::Label(int line) const {
    const auto found = labels.find(line);
    return found == labels.end() ? QString() : found->second;
}

void GutterTextView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    gutter->setGeometry(area.left(), area.top(), GutterWidth(), area.height());
}

void GutterTextView::PaintGutter(QPaintEvent* event) {
    QPainter painter(gutter);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            const auto found = labels.find(block.blockNumber());
            if (found != labels.end()) {
                QFont face = font();
                face.setBold(block.blockNumber() == emphasised);
                painter.setFont(face);
                painter.drawText(kGutterPadding, top, gutter->width() - 2 * kGutterPadding,
                                 bottom - top, Qt::AlignLeft | Qt::AlignVCenter, found->second);
            }
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}

}  // namespace qtfront
