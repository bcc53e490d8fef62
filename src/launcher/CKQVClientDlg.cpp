#include "launcher/CKQVClientDlg.h"

#include "core/ResourceIds.h"
#include "launcher/CControllersDlg.h"
#include "launcher/DragAnywhere.h"
#include "launcher/IconicPaint.h"
#include "launcher/SplashLayout.h"
#include "ui/Platform.h"

bool g_bOverlayCreated = false;

CKQVClientDlg::CKQVClientDlg(GameUrlSink keepGameUrl)
    : ui::Dialog(res::kSplashDialog), m_hIcon(res::kAppIcon), m_keepGameUrl(std::move(keepGameUrl)) {}

CKQVClientDlg::~CKQVClientDlg() = default;

int CKQVClientDlg::OnCreate() {
  if (!g_bOverlayCreated) {
    m_pOverlay = std::make_unique<CControllersDlg>([this](const std::string& url) { HandOffGame(url); });
    m_pOverlay->Create(this);
    g_bOverlayCreated = true;
  }
  return static_cast<int>(Default());
}

bool CKQVClientDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  Peer().AddLayeredStyle();

  auto& platform = ui::GetPlatform();
  if (auto png = platform.FindResource(ui::ResourceType::Png, res::kSplashPicture)) {
    if (auto decoded = platform.DecodePng(*png)) m_image = std::move(*decoded);
  }
  ApplyLayeredImage();

  if (m_pOverlay) m_pOverlay->ShowWindow(ui::ShowCommand::Show);

  const ui::Size picture{m_image.width, m_image.height};
  const ui::Point at = SplashPosition(platform.ScreenSize(), picture);
  MoveWindow(ui::Rect::FromXYWH(at.x, at.y, picture.cx, picture.cy), true);
  return true;
}

void CKQVClientDlg::ApplyLayeredImage() {
  // A missing or undecodable picture leaves the window without content.
  if (m_image.Empty()) return;
  PremultiplyAlpha(m_image);
  Peer().UpdateLayered(m_image);
}

void CKQVClientDlg::HandOffGame(const std::string& url) {
  if (!m_keepGameUrl) return;
  m_keepGameUrl(url);
  EndDialog(ui::kIdOk);
}

void CKQVClientDlg::OnMove(int, int) {
  // A second launcher in the same process has no overlay to carry.
  if (m_pOverlay) {
    m_pOverlay->MoveWindow(GetWindowRect(), true);
    m_pOverlay->Invalidate(false);
  }
  Default();
}

ui::Hit CKQVClientDlg::OnNcHitTest(ui::Point) { return ClientAsCaption(static_cast<ui::Hit>(Default())); }

bool CKQVClientDlg::PreTranslateMessage(const ui::Message& message) {
  // Return would end the launcher as if a login had been detected, Escape as
  // a cancel: neither reaches the dialog manager.
  if (message.kind == ui::Message::Kind::KeyDown && (message.key == ui::kVkEscape || message.key == ui::kVkReturn)) {
    return true;
  }
  return ui::Dialog::PreTranslateMessage(message);
}

void CKQVClientDlg::OnPaint(ui::Canvas& canvas) { PaintIconOrDefault(*this, canvas, m_hIcon); }

int CKQVClientDlg::OnQueryDragIcon() { return m_hIcon; }
