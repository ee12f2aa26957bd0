/* The word the updater puts after the game's title in its window caption,
   which its version record also gives the file as its description. A
   literal, so that each program gets it in its own character set. */
#pragma once

#define UPD_CAPTION_WORD "アップデータ"
