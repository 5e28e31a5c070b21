// Keeps the "on line now" list fresh: every 5 seconds the page asks the server
// for the list again, which also keeps the visitor on it. While the page's
// live stream is open (live.js) the stream brings the list instead. A redirect means the
// session has ended (polling stops); other failures are tried again next time.
(function () {
  var box = document.getElementById("online");
  if (!box) return;
  var timer = setInterval(function () {
    if (window.KorimbaLive && window.KorimbaLive.open) return;
    fetch(box.getAttribute("data-refresh"), { credentials: "same-origin", cache: "no-store" })
      .then(function (r) {
        if (r.redirected) {
          clearInterval(timer);
          box.innerHTML = "<p class=\"muted\">You are signed out.</p>";
          return;
        }
        if (r.ok) return r.text().then(function (html) { box.innerHTML = html; });
      })
      .catch(function () {});
  }, 5000);
})();
