// Every text the main program shows, in one place. Compiled to CP949.
#pragma once

namespace text {

constexpr char kNotice[] = "알림";  // caption of every message box

// Main window labels
constexpr char kInstalledOff[] = "설치: OFF";
constexpr char kInstalledOn[] = "설치: ON";
constexpr char kInstalledRemoving[] = "설치: 제거중";
constexpr char kInstalledRemains[] = "설치 :ON";  // the removal's outcome text: blank before the colon
constexpr char kResidentOff[] = "상주: OFF";
constexpr char kResidentOn[] = "상주: ON";
constexpr char kNoGridInstalled[] = "설치된 그리드가 없습니다";
constexpr char kGridInstalled[] = "설치된 그리드가 있습니다";
constexpr char kRemovingGrids[] = "그리드를 제거중입니다";

// Guard state
constexpr char kGuardTurnOff[] = "Velmora 끄기";
constexpr char kGuardTurnOn[] = "Velmora 켜기";
constexpr char kGuardInUse[] = "실시간 감시 기능 사용중";
constexpr char kGuardStopped[] = "실시간 감시 기능 중지됨";
constexpr char kGuardOff[] = "실시간 감시 기능 꺼짐";

// Messages
constexpr char kRunAsAdministrator[] = "프로그램을 관리자 권한으로 실행해주세요\n 속성-호환성-관리자 권한으로 이 프로그램 실행";
constexpr char kRunAgainAsAdministrator[] = "프로그램을 관리자 권한으로 다시 실행하세요";
constexpr char kRemoved[] = "제거되었습니다";
constexpr char kTryAgain[] = "다시 시도해 주세요";
constexpr char kInstalled[] = "설치되었습니다";
constexpr char kStarted[] = "시작했습니다";
constexpr char kGuardProgramMissing[] = "Velmora.exe 파일이 없습니다";

}  // namespace text

// Guard service control (button 1034).
namespace text {

constexpr char kGuardDescription[] =
    "Velmora 설치된 그리드 서비스 및 상주 그리드 프로그램을 조사하여 상태를 변경하거나 제거합니다";
constexpr char kGuardBeingRemoved[] = "이전 Velmora를 제거하는 중입니다\n잠시 후 다시 시도해 주세요";
constexpr char kGuardNotInstalled[] = "Velmora를 설치하지 못했습니다";
constexpr char kGuardFolderUnknown[] = "Program Files 폴더를 찾지 못했습니다";
constexpr char kGuardPathTooLong[] = "Velmora를 설치할 경로가 너무 깁니다";
constexpr char kGuardFolderNotMade[] = "Velmora를 설치할 폴더를 만들지 못했습니다";
constexpr char kGuardNotCopied[] = "Velmora.exe를 복사하지 못했습니다";
constexpr char kGuardNotStarted[] = "Velmora를 시작하지 못했습니다";
constexpr char kGuardStillStarting[] = "Velmora가 아직 시작 중입니다\n잠시 후 다시 확인해 주세요";
constexpr char kGuardNotRemoved[] = "Velmora를 제거하지 못했습니다";
// The Velmora.exe beside Kestane is not the one it came with.
constexpr char kGuardProgramNotOurs[] =
    "Kestane 옆의 Velmora.exe가 함께 배포된 파일이 아닙니다\nTollvard 압축 파일을 다시 풀어 주세요";
// Deleted, but it took no stop (Windows keeps a service that ignores one).
constexpr char kGuardStillRunning[] = "Velmora가 아직 실행 중입니다\nWindows를 다시 시작하면 제거됩니다";
constexpr char kErrorCode[] = "오류 코드";  // "(오류 코드 1063)" after a failure message
// Program Files lies on a drive that keeps no access lists (FAT32, possible
// on XP): no folder there can be only the administrators'.
constexpr char kGuardNoAccessLists[] =
    "Program Files가 있는 드라이브(FAT32 등)는 접근 권한을 저장하지 않습니다\n"
    "관리자만 바꿀 수 있는 폴더를 만들 수 없어 Velmora를 켜지 않았습니다";
// A press finds the guard registered but cannot read its state.
constexpr char kGuardStateUnknown[] = "Velmora의 상태를 확인하지 못했습니다";

}  // namespace text

// What Kestane starts and deletes for the desktop user, and the environment
// of what it starts with its own rights.
namespace text {

// UAC separates Kestane from the user, and the user's own rights could not
// be had: the rest of the press went on.
constexpr char kUserFoldersSkipped[] =
    "바탕 화면 사용자의 권한을 얻지 못해 사용자 폴더(바탕 화면, 시작 메뉴, 즐겨찾기, 응용 프로그램 데이터)의 "
    "항목은 건너뛰었습니다\n탐색기를 실행한 뒤 다시 시도해 주세요";
constexpr char kMakerPageNotOpened[] =
    "바탕 화면 사용자의 권한을 얻지 못해 홈페이지를 열지 않았습니다\n탐색기를 실행한 뒤 다시 시도해 주세요";
// Windows refused a program that exists, started with the user's rights
// ("(오류 코드 740)": it asks for an administrator).
constexpr char kUserStartRefused[] = "사용자 권한으로 실행하지 못한 프로그램이 있습니다";
// No environment that only administrators wrote: nothing was started with
// Kestane's rights.
constexpr char kStartsNotMade[] = "관리자만 바꿀 수 있는 임시 폴더를 만들지 못해 프로그램을 실행하지 않았습니다";
// Windows refused a program that exists, started with Kestane's rights
// ("(오류 코드 193)": not a program it can run).
constexpr char kOwnStartRefused[] = "관리자 권한으로 실행하지 못한 프로그램이 있습니다";
// An uninstaller, or a folder on the way to it, that every user may change,
// or a junction: not run as administrator.
constexpr char kOpenFoldersSkipped[] =
    "모든 사용자가 바꿀 수 있는 폴더의 제거 프로그램은 관리자 권한으로 실행하지 않았습니다";

}  // namespace text
