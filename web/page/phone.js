"use strict";
// Taps become POST API/commands/LETTER (API: /api/v1 for the phone remote,
// /api/v1/rooms/ID for a room of the campus service); the line below the
// buttons says what became of them. The status is asked every few seconds,
// so that the page notices when the panel on the PC goes away.
(function () {
    var texts = JSON.parse(document.getElementById("texts").textContent);
    var api = document.querySelector("main").getAttribute("data-api");
    var message = document.getElementById("message");
    var chinese = document.documentElement.lang.indexOf("zh") === 0;
    var expired = false;

    function say(text, isError) {
        message.textContent = text;
        message.className = isError ? "error" : "";
    }

    function closed() {
        message.setAttribute("data-closed", "1");
        say(texts.closed, true);
    }

    // What a failed answer means for the user: a promise of the text, empty
    // when it did not fail.
    function failure(response) {
        if (response.status === 401) {
            expired = true;
            return Promise.resolve(texts.expired);
        }
        if (response.status === 429)
            return Promise.resolve(texts.tooMany);
        if (response.ok)
            return Promise.resolve("");
        return response.json().then(function (body) {
            return texts.notSent.replace("%1", body.error || response.status);
        }, function () {
            return texts.notSent.replace("%1", response.status);
        });
    }

    function poll() {
        fetch(api + "/status", { cache: "no-store" }).then(function (response) {
            return failure(response).then(function (problem) {
                if (problem) {
                    say(problem, true);
                } else if (!message.textContent || message.hasAttribute("data-closed")) {
                    message.removeAttribute("data-closed");
                    return response.json().then(function (status) {
                        say(texts.ready.replace("%1", status.port || status.name), false);
                    });
                }
            });
        }).catch(closed).then(function () {
            if (!expired)
                setTimeout(poll, 5000);
        });
    }

    function send(button) {
        var name = chinese ? button.getAttribute("data-zh") : button.getAttribute("data-en");
        say(texts.sending.replace("%1", name), false);
        fetch(api + "/commands/" + button.getAttribute("data-c"),
              { method: "POST", cache: "no-store" }).then(function (response) {
            return failure(response).then(function (problem) {
                say(problem || texts.sent.replace("%1", name), !!problem);
            });
        }).catch(closed);
    }

    function press(button) {
        button.classList.add("down");
        if (navigator.vibrate)
            navigator.vibrate(15);
    }

    var buttons = document.querySelectorAll("button.cmd");
    Array.prototype.forEach.call(buttons, function (button) {
        button.addEventListener("pointerdown", function () { press(button); });
        ["pointerup", "pointercancel", "pointerleave"].forEach(function (end) {
            button.addEventListener(end, function () { button.classList.remove("down"); });
        });
        button.addEventListener("click", function () { send(button); });
    });
    poll();
})();
