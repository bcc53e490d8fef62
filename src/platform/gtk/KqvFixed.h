#pragma once

#include <gtk/gtk.h>

// The type of the GtkFixed that asks for no room of its own.
GType kqv_fixed_get_type();
