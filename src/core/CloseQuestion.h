#pragma once

// The question asked before the launcher quits or the game window closes.
inline constexpr char kCloseQuestionText[] = "正在游戏中，确定退出《Qelunar》？";
inline constexpr char kCloseQuestionCaption[] = "关闭提示";
