#include "platform/linux/gtk/GtkDesktop.h"

#include <gtest/gtest.h>

#include "ScreenTestSupport.h"

namespace ko {
namespace {

struct RecordedDesktop : DesktopEvents {
    int changes = 0;
    void OnDisplayChanged() override { ++changes; }
};

// A panel that reserves the top of the screen (a taskbar at the top) moves the work area; the
// kiosk hears of it and places its windows below it.
TEST_F(ScreenTest, APanelMovesTheWorkAreaAndTellsTheKiosk) {
    Desktop& desktop = m_screens->GetDesktop();
    RecordedDesktop events;
    desktop.SetEvents(&events);
    const PixelRect screen = desktop.Screen();
    EXPECT_EQ(desktop.WorkArea(), screen);

    GtkWidget* panel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_type_hint(GTK_WINDOW(panel), GDK_WINDOW_TYPE_HINT_DOCK);
    gtk_window_move(GTK_WINDOW(panel), 0, 0);
    gtk_window_resize(GTK_WINDOW(panel), screen.width, 40);
    gtk_widget_realize(panel);
    // left, right, top, bottom, then the start and end of each edge's strip.
    const gulong strut[12] = {0, 0, 40, 0, 0, 0, 0, 0, 0, static_cast<gulong>(screen.width - 1),
                              0, 0};
    gdk_property_change(gtk_widget_get_window(panel),
                        gdk_atom_intern("_NET_WM_STRUT_PARTIAL", FALSE),
                        gdk_atom_intern("CARDINAL", FALSE), 32, GDK_PROP_MODE_REPLACE,
                        reinterpret_cast<const guchar*>(strut), 12);
    gtk_widget_show(panel);

    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return events.changes >= 1; }));
    EXPECT_EQ(desktop.WorkArea(), (PixelRect{0, 40, screen.width, screen.height - 40}));
    desktop.SetEvents(nullptr);
    gtk_widget_destroy(panel);
}

}  // namespace
}  // namespace ko
