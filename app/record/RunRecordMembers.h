#pragma once

// The run record's member names, shared by its writer and its reader.
namespace Morvane::RecordMember {

constexpr char kTool[] = "tool";
constexpr char kFormatVersion[] = "formatVersion";
constexpr char kStartedAt[] = "startedAt";
constexpr char kEndedAt[] = "endedAt";
// How a record folded from a watch's journal ended: "stopped", or "unexpectedly" for a watch
// that left no end line (endedAt is then the time of its journal's last line).
constexpr char kEnded[] = "ended";
constexpr char kOutputDirectory[] = "outputDirectory";
constexpr char kComputerName[] = "computerName";
constexpr char kMonitors[] = "monitors";
constexpr char kWindows[] = "windows";
constexpr char kPreviousRun[] = "previousRun";
constexpr char kGoneSinceLastRun[] = "goneSinceLastRun";

// A monitor.
constexpr char kRect[] = "rect";
constexpr char kFrame[] = "frame";
constexpr char kWorkRect[] = "workRect";
constexpr char kFlags[] = "flags";
constexpr char kDevice[] = "device";
constexpr char kPicture[] = "picture";

// A rectangle.
constexpr char kLeft[] = "left";
constexpr char kTop[] = "top";
constexpr char kRight[] = "right";
constexpr char kBottom[] = "bottom";

// A window; rect as for a monitor.
constexpr char kHandle[] = "handle";
constexpr char kProcessId[] = "processId";
constexpr char kThreadId[] = "threadId";
constexpr char kCaption[] = "caption";
constexpr char kClassName[] = "className";
constexpr char kImagePath[] = "imagePath";
constexpr char kStyle[] = "style";
constexpr char kExStyle[] = "exStyle";
constexpr char kTopmost[] = "topmost";
constexpr char kToolWindow[] = "toolWindow";
constexpr char kZone[] = "zone";
constexpr char kMonitor[] = "monitor";
constexpr char kOutcome[] = "outcome";
constexpr char kSkipReason[] = "skipReason";
constexpr char kFolder[] = "folder";
constexpr char kPictureSource[] = "pictureSource";
constexpr char kResults[] = "results";
constexpr char kHung[] = "hung";
constexpr char kNewSinceLastRun[] = "newSinceLastRun";
constexpr char kKind[] = "kind";
constexpr char kMonitorSkipped[] = "monitorSkipped";
constexpr char kPictureSkipped[] = "pictureSkipped";
// A window's life while a watch runs.
constexpr char kAppearedAt[] = "appearedAt";
constexpr char kCaughtBy[] = "caughtBy";
constexpr char kSavedAfterMs[] = "savedAfterMs";
constexpr char kGoneAt[] = "goneAt";
constexpr char kShownForMs[] = "shownForMs";
constexpr char kPictureDropped[] = "pictureDropped";

// The watch of a run that went on watching.
constexpr char kWatch[] = "watch";
constexpr char kSince[] = "since";
constexpr char kForSeconds[] = "forSeconds";
constexpr char kRunning[] = "running";
// Its disk budget; a window's pictures left out for it.
constexpr char kMaxSize[] = "maxSize";
constexpr char kBytesWritten[] = "bytesWritten";
constexpr char kPicturesStoppedAt[] = "picturesStoppedAt";
constexpr char kPicturesStopped[] = "picturesStopped";
// Its pictures waiting to be encoded: those left out for want of room.
constexpr char kPicturesDroppedQueueFull[] = "picturesDroppedQueueFull";

// The results of a saved window.
constexpr char kRecordResult[] = "record";
constexpr char kWindowResult[] = "window";
constexpr char kMonitorResult[] = "monitor";

// How a window showed, and what its picture shows; dpi also of a monitor.
constexpr char kDpi[] = "dpi";
constexpr char kMinimised[] = "minimised";
constexpr char kCloaked[] = "cloaked";
constexpr char kCoveredBy[] = "coveredBy";
constexpr char kCoveringHandles[] = "handles";
constexpr char kCoveredShare[] = "share";
constexpr char kPictureColour[] = "pictureColour";

// A gone window: imagePath, className, caption as for a window, and
constexpr char kCount[] = "count";

// The processes of the saved windows; each window names its own with processId and startedAt.
constexpr char kProcesses[] = "processes";
constexpr char kProcess[] = "process";
constexpr char kCommandLine[] = "commandLine";
constexpr char kParentProcessId[] = "parentProcessId";
constexpr char kParentImagePath[] = "parentImagePath";
constexpr char kParentGone[] = "parentGone";
constexpr char kParentUnreadable[] = "parentUnreadable";
constexpr char kCompany[] = "company";
constexpr char kProduct[] = "product";
constexpr char kDescription[] = "description";
constexpr char kFileVersion[] = "fileVersion";
constexpr char kOriginalFilename[] = "originalFilename";
constexpr char kSignature[] = "signature";
constexpr char kSigner[] = "signer";
constexpr char kSignatureResult[] = "signatureResult";
constexpr char kSignedBy[] = "signedBy";
constexpr char kCatalog[] = "catalog";

// The run's journal: one object a line, its kind in "line" and the time it was written in "at".
constexpr char kLine[] = "line";
constexpr char kAt[] = "at";
constexpr char kEntry[] = "entry";
constexpr char kLineStart[] = "start";
constexpr char kLineMonitors[] = "monitors";
constexpr char kLineWindow[] = "window";
constexpr char kLineMonitorPicture[] = "monitorPicture";
constexpr char kLineGone[] = "gone";
constexpr char kLineProcess[] = "process";
constexpr char kLineWatch[] = "watch";
constexpr char kLineEnd[] = "end";
constexpr char kEndedStopped[] = "stopped";
constexpr char kEndedUnexpectedly[] = "unexpectedly";

// Values.
constexpr char kToolName[] = "Morvane";
constexpr int kVersion = 1;
constexpr char kSaved[] = "saved";
constexpr char kSkipped[] = "skipped";
constexpr char kMissed[] = "missed";
constexpr char kCaughtAtStart[] = "start";
constexpr char kCaughtByEvent[] = "event";
constexpr char kCaughtByScan[] = "scan";

} // namespace Morvane::RecordMember
