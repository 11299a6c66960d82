// Folders that web-hard and video clients install themselves into, directly
// under a Program Files root. Each client names its folder after its web site;
// when a client moves to another domain, change it here and every table that
// uses the folder follows.
#pragma once

#define HIDISK_SITE_FOLDER "hidisk.co.kr"
// The Kdisk installers have shipped with both spellings; the file system does
// not tell them apart, but both are written as the installers wrote them.
#define KDISK_SITE_FOLDER_LOWER "kdisk.co.kr"
#define KDISK_SITE_FOLDER_CAPITAL "Kdisk.co.kr"
#define QDOWN_SITE_FOLDER "qdown.co.kr"
#define BONDISK_SITE_FOLDER "bondisk.co.kr"
#define FDISK_SITE_FOLDER "fdisk.co.kr"

#define VIDEO_STREAMING_SITE_FOLDER "vodstreamer.co.kr"
