#include "platform/gtk/GtkPlatform.h"

#include <malloc.h>

#include <utility>

#include "platform/gtk/EngineWarmUp.h"
#include "platform/gtk/PngDecoder.h"

// The start-up gate: work that holds the GUI thread waits until the first
// main window has been drawn.

namespace ui::gtk {

namespace {
// How long a shown main window may take to be drawn before waiting work
// runs anyway (a window that is never drawn must not stop the engine).
constexpr guint kFirstDrawWaitMs = 3000;
// How long after the engine's start the heap is trimmed.
constexpr guint kTrimDelayMs = 1000;
}  // namespace

int GtkPlatform::AfterStartUp(std::function<void()> work) {
  m_startUpWork.emplace_back(++m_lastStartUpToken, std::move(work));
  ScheduleStartUpWork();
  return m_lastStartUpToken;
}

void GtkPlatform::CancelAfterStartUp(int token) {
  std::erase_if(m_startUpWork, [token](const auto& entry) { return entry.first == token; });
}

void GtkPlatform::NoteMainWindowShown() {
  if (m_startUp != StartUp::NothingShown) return;
  m_startUp = StartUp::AwaitingFirstDraw;
  // While the warm-up loads the graphics driver, whatever else loads a
  // library or makes a thread waits for it, and the way to the first window
  // does both (GTK's and GIO's modules, the engine's context): it starts once
  // that window is on its way, and runs while the window manager maps it.
  StartEngineWarmUp();
}

void GtkPlatform::NoteMainWindowDrawn() {
  if (m_startUp == StartUp::Drawn) return;
  m_startUp = StartUp::Drawn;
  if (m_startUpTimer) g_source_remove(m_startUpTimer);
  m_startUpTimer = 0;
  ScheduleStartUpWork();
}

void GtkPlatform::ScheduleStartUpWork() {
  if (m_startUpWork.empty()) return;
  if (m_startUp == StartUp::AwaitingFirstDraw) {
    if (!m_startUpTimer) {
      m_startUpTimer = g_timeout_add(
          kFirstDrawWaitMs,
          [](gpointer self) {
            auto* platform = static_cast<GtkPlatform*>(self);
            platform->m_startUpTimer = 0;
            platform->NoteMainWindowDrawn();
            return G_SOURCE_REMOVE;
          },
          this);
    }
    return;
  }
  // Low priority: the frame just drawn, and any other window's, reach the
  // screen first.
  if (!m_startUpIdle) m_startUpIdle = g_idle_add_full(G_PRIORITY_LOW, RunStartUpWork, this, nullptr);
}

gboolean GtkPlatform::RunStartUpWork(gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  platform->m_startUpIdle = 0;
  if (platform->m_startUp == StartUp::AwaitingFirstDraw) {
    platform->ScheduleStartUpWork();
    return G_SOURCE_REMOVE;
  }
  // One at a time: a piece of work may cancel or add others.
  while (!platform->m_startUpWork.empty()) {
    auto work = std::move(platform->m_startUpWork.front().second);
    platform->m_startUpWork.erase(platform->m_startUpWork.begin());
    work();
  }
  // Pictures decoded ahead that nobody asked for are not kept.
  if (platform->m_pngAhead) platform->m_pngAhead->Forget();
  // What start-up allocated and let go of (the picture's decoding, the
  // theme's parsing) goes back to the system rather than waiting in the
  // heap; a moment later, off the path to the first page.
  if (!platform->m_trimTimer) {
    platform->m_trimTimer = g_timeout_add_full(
        G_PRIORITY_LOW, kTrimDelayMs,
        [](gpointer self) {
          static_cast<GtkPlatform*>(self)->m_trimTimer = 0;
          malloc_trim(0);
          return G_SOURCE_REMOVE;
        },
        platform, nullptr);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace ui::gtk
