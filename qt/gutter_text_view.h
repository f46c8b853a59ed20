// A read-only view of fixed-width lines with a gutter on its left that stays in place while the
// lines scroll sideways, as the line numbers of an editor do: the record layout window's records
// (their numbers in the gutter) and its ruler (an empty gutter of the same width, so that its
// columns stand over the records' columns).
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <map>

namespace qtfront {

class GutterTextView : public QPlainTextEdit {
  public:
    explicit GutterTextView(QWidget* parent = nullptr);

    // The gutter: as wide as `characters` characters of the view's font, showing `labels` (by
    // line number) beside their lines; the label of line `emphasised` in bold (-1: none).
    void SetGutter(int characters, std::map<int, QString> labels);
    void SetEmphasised(int line);
    int GutterWidth() const;
    // The gutter's label of a line; empty for none.
    QString Label(int line) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    class Gutter;
    void PaintGutter(QPaintEvent* event);

    Gutter* gutter;
    int characters = 0;
    std::map<int, QString> labels;
    int emphasised = -1;
};

}  // namespace qtfront
