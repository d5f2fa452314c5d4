"use strict";
// Where the pages are served over HTTPS (or to this machine): when the
// server cannot be reached, a page that says so in the browser's language
// (/offline.html, kept when this worker is installed) instead of the
// browser's own error. Nothing else is kept: every answer is the server's.
var KEPT = "lumo-offline-1";

self.addEventListener("install", function (event) {
    event.waitUntil(caches.open(KEPT).then(function (cache) {
        return cache.addAll(["/offline.html", "/phone.css"]);
    }).then(function () { return self.skipWaiting(); }));
});

self.addEventListener("activate", function (event) {
    event.waitUntil(caches.keys().then(function (names) {
        return Promise.all(names.filter(function (name) { return name !== KEPT; })
            .map(function (name) { return caches.delete(name); }));
    }).then(function () { return self.clients.claim(); }));
});

self.addEventListener("fetch", function (event) {
    var request = event.request;
    if (request.method !== "GET")
        return;
    if (request.mode === "navigate")
        event.respondWith(fetch(request).catch(function () { return caches.match("/offline.html"); }));
    else if (new URL(request.url).pathname === "/phone.css")
        event.respondWith(fetch(request).catch(function () { return caches.match(request); }));
});
