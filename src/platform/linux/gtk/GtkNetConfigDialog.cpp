#include "platform/linux/gtk/GtkNetConfigDialog.h"

#include <gdk/gdkkeysyms.h>

#include <string>
#include <utility>

#include "platform/linux/AnsiText.h"

namespace ko {
namespace {

std::string TextOf(GtkEntry* entry) {
    return Utf8ToAnsi(gtk_entry_get_text(entry));
}

}  // namespace

GtkNetConfigDialog::GtkNetConfigDialog(EventLoop& loop, NetConfigEvents& events)
    : m_loop(loop), m_events(events) {
    m_window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(m_window, "NetConfig 2003");
    gtk_window_set_resizable(m_window, FALSE);
    gtk_window_set_type_hint(m_window, GDK_WINDOW_TYPE_HINT_DIALOG);

    // The boxes and the buttons sit in two columns of their own, so that Tab runs through the four
    // boxes first and then reaches OK and Cancel.
    GtkWidget* columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(columns), 10);
    gtk_container_add(GTK_CONTAINER(m_window), columns);
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_box_pack_start(GTK_BOX(columns), grid, TRUE, TRUE, 0);
    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_pack_start(GTK_BOX(columns), buttons, FALSE, FALSE, 0);

    const char* captions[] = {"Server Name or IP Address", "TCP/IP Port", "HTPP Port",
                              "Workstation Name", "Security Password"};
    for (int row = 0; row < 5; ++row) {
        GtkWidget* label = gtk_label_new(captions[row]);
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 16);
        gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
        gtk_grid_attach(GTK_GRID(grid), label, 0, row, 1, 1);
        gtk_grid_attach(GTK_GRID(grid), entry, 1, row, 1, 1);
        m_entries[static_cast<std::size_t>(row)] = GTK_ENTRY(entry);
        if (row == 4) {
            gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
            m_passwordLabel = label;
        }
    }
    m_ok = GTK_BUTTON(gtk_button_new_with_label("OK"));
    m_cancel = GTK_BUTTON(gtk_button_new_with_label("Cancel"));
    gtk_widget_set_can_default(GTK_WIDGET(m_ok), TRUE);
    gtk_box_pack_start(GTK_BOX(buttons), GTK_WIDGET(m_ok), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), GTK_WIDGET(m_cancel), FALSE, FALSE, 0);
    m_message = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_xalign(m_message, 0);
    gtk_label_set_line_wrap(m_message, TRUE);
    gtk_grid_attach(GTK_GRID(grid), GTK_WIDGET(m_message), 0, 5, 2, 1);
    gtk_widget_show_all(columns);
    gtk_widget_hide(GTK_WIDGET(m_message));
    gtk_window_set_default(m_window, GTK_WIDGET(m_ok));

    g_signal_connect(m_ok, "clicked", G_CALLBACK(OnOkClicked), this);
    g_signal_connect(m_cancel, "clicked", G_CALLBACK(OnCancelClicked), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
}

GtkNetConfigDialog::~GtkNetConfigDialog() {
    *m_alive = false;
    g_signal_handlers_disconnect_by_data(m_ok, this);
    g_signal_handlers_disconnect_by_data(m_cancel, this);
    g_signal_handlers_disconnect_by_data(m_window, this);
    gtk_widget_destroy(GTK_WIDGET(m_window));
}

void GtkNetConfigDialog::Show(const NetConfigFields& fields, bool askSecurityPassword) {
    const std::string* texts[] = {&fields.serverName, &fields.tcpPort, &fields.httpPort,
                                  &fields.workstationName};
    for (int i = 0; i < 4; ++i) {
        gtk_entry_set_text(m_entries[static_cast<std::size_t>(i)], AnsiToUtf8(*texts[i]).c_str());
    }
    GtkEntry* password = Entry(NetConfigField::SecurityPassword);
    gtk_entry_set_text(password, "");
    m_askPassword = askSecurityPassword;
    gtk_widget_set_visible(m_passwordLabel, askSecurityPassword ? TRUE : FALSE);
    gtk_widget_set_visible(GTK_WIDGET(password), askSecurityPassword ? TRUE : FALSE);
    gtk_widget_hide(GTK_WIDGET(m_message));
    gtk_widget_grab_focus(GTK_WIDGET(Entry(NetConfigField::ServerName)));
    m_visible = true;
    gtk_widget_show(GTK_WIDGET(m_window));
    gtk_window_present(m_window);
}

void GtkNetConfigDialog::Hide() {
    m_visible = false;
    gtk_widget_hide(GTK_WIDGET(m_window));
}

void GtkNetConfigDialog::SetTopmost(bool topmost) {
    gtk_window_set_keep_above(m_window, topmost ? TRUE : FALSE);
}

void GtkNetConfigDialog::ShowInvalid(NetConfigField field, const std::string& text) {
    gtk_label_set_text(m_message, AnsiToUtf8(text).c_str());
    gtk_widget_show(GTK_WIDGET(m_message));
    GtkEntry* entry = Entry(field);
    gtk_widget_grab_focus(GTK_WIDGET(entry));
}

void GtkNetConfigDialog::PostOk() {
    NetConfigFields typed{
        TextOf(Entry(NetConfigField::ServerName)), TextOf(Entry(NetConfigField::TcpPort)),
        TextOf(Entry(NetConfigField::HttpPort)), TextOf(Entry(NetConfigField::WorkstationName))};
    std::string password = m_askPassword ? TextOf(Entry(NetConfigField::SecurityPassword)) : "";
    m_loop.Post([alive = m_alive, events = &m_events, typed = std::move(typed),
                 password = std::move(password)] {
        if (*alive) {
            events->OnOk(typed, password);
        }
    });
}

void GtkNetConfigDialog::PostCancel() {
    m_loop.Post([alive = m_alive, events = &m_events] {
        if (*alive) {
            events->OnCancel();
        }
    });
}

void GtkNetConfigDialog::OnOkClicked(GtkButton*, gpointer self) {
    static_cast<GtkNetConfigDialog*>(self)->PostOk();
}

void GtkNetConfigDialog::OnCancelClicked(GtkButton*, gpointer self) {
    static_cast<GtkNetConfigDialog*>(self)->PostCancel();
}

gboolean GtkNetConfigDialog::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkNetConfigDialog*>(self)->PostCancel();
    return TRUE;
}

gboolean GtkNetConfigDialog::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    if (event->keyval == GDK_KEY_Escape) {
        static_cast<GtkNetConfigDialog*>(self)->PostCancel();
        return TRUE;
    }
    return FALSE;
}

}  // namespace ko
