// Tabs on top and one page shown at a time; each page fills the area inside the control's frame.
#pragma once

#include <QList>
#include <QWidget>

class QTabBar;

namespace orvik {

class PageControl : public QWidget {
    Q_OBJECT

public:
    explicit PageControl(QWidget* parent = nullptr);

    // Reparents page to this control and aligns it to the page area: (4, 24) with size (width - 8) x (height - 28).
    // The first page added becomes the active one.
    void addPage(QWidget* page, const QString& caption);
    int pageCount() const { return static_cast<int>(m_pages.size()); }
    QWidget* page(int index) const;
    // The page's tab caption, which also names the page for assistive technology.
    QString caption(int index) const;

    int activePageIndex() const;
    // Shows page index without emitting changed(); an index out of range is ignored.
    void setActivePageIndex(int index);

    // The tab strip: the control's own stop in the focus walk.
    QTabBar* tabBar() const { return m_tabs; }

signals:
    // Emitted after the user has changed the page (a tab click, the arrow keys on the tabs, Ctrl+Tab); never for
    // setActivePageIndex().
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showActivePage();
    void stepPage(int delta);

    QTabBar* m_tabs;
    QList<QWidget*> m_pages;
};

} // namespace orvik
