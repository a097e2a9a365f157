#pragma once

// What the copy layer says in the log and in its refusals, all in one place: the user reads
// them as one voice, and a change of wording is made here once.
namespace sarvoli::copy::texts {

// A run that cannot start: said in a message box, or by --run before it exits.
inline constexpr const char* kNoFolderGiven = "HAKEMISTO tai LEVY on valitsematta";
inline constexpr const char* kNotADriveLetter = "Ei kelvollinen asematunnus";
// "Asemaa E: ei ole tai se ei ole käytettävissä.", around the drive as typed.
inline constexpr const char* kNoDriveBefore = "Asemaa ";
inline constexpr const char* kNoDriveAfter = " ei ole tai se ei ole käytettävissä.";

// Why a file or folder of the walk is not copied: each after its path on a failure line.
inline constexpr const char* kThroughLink =
    "kohdekansio on symbolinen linkki tai liitoskohta, sen kautta ei kopioida";
inline constexpr const char* kBackslashInName = "nimessä on kenoviiva, sitä ei voi kopioida";
inline constexpr const char* kIntoSource = "kohdekansio olisi lähdekansiossa, kansiota ei kopioida";
// % stands for the name copied before.
inline constexpr const char* kSameButCase =
    "kohteessa sama nimi kuin lähteen nimellä %, vain kirjainkoko eroaa; sitä ei kopioida";
// Alone, or followed by ": " and the system's reason.
inline constexpr const char* kUnreadableFolder = "kansiota ei voi lukea";
// A name at the top of the source that is the folder of the kept copies in the destination.
inline constexpr const char* kKeptFolderName = "nimi on kohteessa vanhojen kopioiden kansion, sitä ei kopioida";
// The old copy could not be put into the run's folder (followed by ": " and the reason): the
// copy is not replaced.
inline constexpr const char* kNotKept = "vanhaa kopiota ei voi säilyttää, sitä ei korvattu";

// What became of copies after they were made: after a copy's line, when another program wrote
// its target during the run,
inline constexpr const char* kChangedSince =
    "kohteen tiedosto muuttui ajon aikana, sitä ei korvattu";
// or when it was read back;
inline constexpr const char* kNotTheSame = "kopio ei vastaa lähdettä";
inline constexpr const char* kNotReadBack = "kopiota ei voi lukea takaisin";
// after the destination's path, followed by the system's reason;
inline constexpr const char* kNotOnDevice = "kopioita ei saatu levylle";
// after the destination root's path, once.
inline constexpr const char* kDestinationGone = "kohdekansio ei ole enää käytettävissä, ajo lopetettiin";

// A note of a run with fewer workers than asked: "vain 1/4 kopioijaa käynnistyi: why".
inline constexpr const char* kWorkersStarted = " kopioijaa käynnistyi: ";

}  // namespace sarvoli::copy::texts
