// What Velmora.exe prints, in this order, whoever started it. Compiled to CP949.
#pragma once

namespace text {

constexpr char kGuardBanner[] = "Velmora v1.0\n\n";
constexpr char kGuardUseMainProgram[] = "Tollvard 프로그램내의 Velmora기능으로 작동하세요\n";
constexpr char kGuardOtherwiseIdle[] = "그렇지 않으면 Velmora 기능은 작동되지 않습니다";

}  // namespace text
