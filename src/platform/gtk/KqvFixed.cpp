#include "platform/gtk/KqvFixed.h"

// A GtkFixed that asks for no room of its own: children may lie outside the
// window (a browser parked out of sight) without growing it.
struct KqvFixed {
  GtkFixed parent;
};
struct KqvFixedClass {
  GtkFixedClass parent_class;
};
G_DEFINE_TYPE(KqvFixed, kqv_fixed, GTK_TYPE_FIXED)

static void kqv_fixed_no_size(GtkWidget*, gint* minimum, gint* natural) { *minimum = *natural = 0; }

static void kqv_fixed_class_init(KqvFixedClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = kqv_fixed_no_size;
  widget->get_preferred_height = kqv_fixed_no_size;
}

static void kqv_fixed_init(KqvFixed*) {}
