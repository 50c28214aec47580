#pragma once

#include <QLatin1String>

// The words of the control socket between quelmd and quelm-cli: one JSON
// object per line, a request from the client, then events and one final
// reply from quelmd. Both programs take every name from here.
namespace ControlProtocol {

// The request's "command".
namespace Command {
inline constexpr QLatin1String Status("status");
inline constexpr QLatin1String Peers("peers");
inline constexpr QLatin1String Downloads("downloads");
inline constexpr QLatin1String Diagnose("diagnose");
inline constexpr QLatin1String Search("search");
inline constexpr QLatin1String Browse("browse");
inline constexpr QLatin1String Get("get");
inline constexpr QLatin1String Chat("chat");
inline constexpr QLatin1String InstantMessage("im");
inline constexpr QLatin1String Block("block");
inline constexpr QLatin1String Unblock("unblock");
inline constexpr QLatin1String Share("share");
inline constexpr QLatin1String Connect("connect");
} // namespace Command

// The values of "action" in a share request.
namespace ShareAction {
inline constexpr QLatin1String Add("add");
inline constexpr QLatin1String Remove("remove");
} // namespace ShareAction

// The values of "event" in the lines before the final reply.
namespace Event {
inline constexpr QLatin1String Progress("progress");
inline constexpr QLatin1String Result("result");
inline constexpr QLatin1String ResumeSearch("resumeSearch");
// Whom a download asks, once quelmd has found the peer the client named.
inline constexpr QLatin1String Source("source");
} // namespace Event

// Where a download stands, in the "state" field beside its display text.
namespace StateWord {
inline constexpr QLatin1String Connecting("connecting");
inline constexpr QLatin1String GettingInfo("gettingInfo");
inline constexpr QLatin1String Requesting("requesting");
inline constexpr QLatin1String Queued("queued");
inline constexpr QLatin1String Downloading("downloading");
inline constexpr QLatin1String Complete("complete");
inline constexpr QLatin1String Cancelled("cancelled");
inline constexpr QLatin1String RemotelyTerminated("remotelyTerminated");
inline constexpr QLatin1String Error("error");
inline constexpr QLatin1String SignatureError("signatureError");
inline constexpr QLatin1String MoveError("moveError");
inline constexpr QLatin1String Parked("parked");
} // namespace StateWord

// The field names of requests, events and replies.
namespace Key {
// Requests.
inline constexpr QLatin1String Command("command");
inline constexpr QLatin1String Words("words");
inline constexpr QLatin1String Type("type");
inline constexpr QLatin1String Wait("wait");
inline constexpr QLatin1String Nick("nick");
inline constexpr QLatin1String Name("name");
// Several shared names of one get, each a file of its own.
inline constexpr QLatin1String Names("names");
inline constexpr QLatin1String From("from");
inline constexpr QLatin1String Resume("resume");
inline constexpr QLatin1String Text("text");
inline constexpr QLatin1String Address("address");
inline constexpr QLatin1String Id("id");
// A peer as the person names it: an address, a linked peer's nickname or identifier.
inline constexpr QLatin1String Peer("peer");
inline constexpr QLatin1String Action("action");
inline constexpr QLatin1String Folder("folder");
// Every reply and event.
inline constexpr QLatin1String Ok("ok");
inline constexpr QLatin1String Error("error");
inline constexpr QLatin1String Event("event");
inline constexpr QLatin1String Note("note");
// A failure that is the request's fault, not quelmd's: quelm-cli exits as for a usage error.
inline constexpr QLatin1String Usage("usage");
// Refused because every client slot is taken: try again shortly.
inline constexpr QLatin1String Busy("busy");
// Search results.
inline constexpr QLatin1String Results("results");
inline constexpr QLatin1String Size("size");
inline constexpr QLatin1String Found("found");
// The copy and its peers.
inline constexpr QLatin1String Nickname("nickname");
inline constexpr QLatin1String Version("version");
inline constexpr QLatin1String Port("port");
inline constexpr QLatin1String Peers("peers");
inline constexpr QLatin1String SharedFiles("sharedFiles");
inline constexpr QLatin1String Downloads("downloads");
inline constexpr QLatin1String Uploading("uploading");
inline constexpr QLatin1String UploadQueue("uploadQueue");
inline constexpr QLatin1String HashedBytes("hashedBytes");
inline constexpr QLatin1String HashingBytes("hashingBytes");
inline constexpr QLatin1String BlockedByYou("blockedByYou");
inline constexpr QLatin1String BlocksYou("blocksYou");
inline constexpr QLatin1String Folders("folders");
// Downloads.
inline constexpr QLatin1String Running("running");
inline constexpr QLatin1String Ended("ended");
inline constexpr QLatin1String Status("status");
inline constexpr QLatin1String State("state");
inline constexpr QLatin1String Percent("percent");
inline constexpr QLatin1String Received("received");
// A folder download's files: those complete, and all of them.
inline constexpr QLatin1String FilesDone("filesDone");
inline constexpr QLatin1String Files("files");
inline constexpr QLatin1String Total("total");
inline constexpr QLatin1String Rate("rate");
inline constexpr QLatin1String Detail("detail");
inline constexpr QLatin1String Path("path");
// "verified (...)" or "not verified (...)" of a finished download.
inline constexpr QLatin1String Verification("verification");
// The diagnosis.
inline constexpr QLatin1String Subnet("subnet");
inline constexpr QLatin1String PortSelfTest("portSelfTest");
inline constexpr QLatin1String Udp("udp");
inline constexpr QLatin1String ScanPosition("scanPosition");
inline constexpr QLatin1String ScanMisses("scanMisses");
inline constexpr QLatin1String HostCache("hostCache");
inline constexpr QLatin1String RecentHosts("recentHosts");
inline constexpr QLatin1String Blocked("blocked");
inline constexpr QLatin1String SameSubnet("sameSubnet");
inline constexpr QLatin1String RefusedLinks("refusedLinks");
inline constexpr QLatin1String Reason("reason");
inline constexpr QLatin1String Time("time");
inline constexpr QLatin1String Findings("findings");
} // namespace Key

} // namespace ControlProtocol
