// A page's script without a window: creates the control by the ProgID given
// as the first argument and runs the step named by the second.
//   defaults: the defaults, PlayMode, trimming, the play state, the player
//             URL, and methods that change nothing without a window
//   start, stop: StartVodService, StopVodService
// Exit status: 0 passed; 10 not created; otherwise the number of the check
// that failed.
var view;
try {
    view = new ActiveXObject(WScript.Arguments(0));
} catch (e) {
    WScript.Quit(10);
}
var step = WScript.Arguments(1);
var check = 20;

function expect(ok) {
    check++;
    if (!ok)
        WScript.Quit(check);
}

if (step == "defaults") {
    expect(view.PlayMode === "full");
    expect(view.AutoPlay === true && view.EnableChat === true && view.Mute === false);
    expect(view.Volume === 67 && view.DefaultDLS === 400 && view.MemorySize === 20);
    expect(view.EnableControlBar !== false && view.Nat === "" && view.PasuedAD === "");
    view.PlayMode = "Compact";
    expect(view.PlayMode === "Compact");
    view.PlayMode = "FULL";
    expect(view.PlayMode === "full");
    view.Cgi = "  http://cgi.invalid/cgi-bin/vod.fcgi\t";
    expect(view.Cgi === "http://cgi.invalid/cgi-bin/vod.fcgi");
    view.Nat = " 127.0.0.1:8000 ";
    expect(view.Nat === " 127.0.0.1:8000 ");
    expect(view.PlayState === 0 && view.LocalPlayerUrl === "" && view.DownloadedPercent === 0);
    view.Open();
    view.Play();
    view.Pause();
    view.Stop();
    view.PopPlaylist();
    view.PopChat();
    view.ChangeVideoSize();
    view.Close();
    expect(view.PlayState === 0 && view.LocalPlayerUrl === "" && view.Position === 0);
    var refused = false;
    try {
        view.PlayState = 1;
    } catch (e) {
        refused = true;
    }
    expect(refused && view.PlayState === 0);
} else if (step == "start" || step == "stop") {
    try {
        if (step == "start")
            view.StartVodService();
        else
            view.StopVodService();
    } catch (e) {
        WScript.Quit(12);
    }
} else {
    WScript.Quit(11);
}
WScript.Quit(0);
