// Keeps the "on line now" list fresh: every 5 seconds the page asks the server
// for the list again, which also keeps the visitor on it.
(function () {
  var box = document.getElementById("online");
  if (!box) return;
  function refresh() {
    fetch(box.getAttribute("data-refresh"), { credentials: "same-origin", cache: "no-store" })
      .then(function (r) {
        if (r.redirected || !r.ok) throw new Error("signed out");
        return r.text();
      })
      .then(function (html) { box.innerHTML = html; })
      .catch(function () { box.innerHTML = "<p class=\"muted\">You are signed out.</p>"; });
  }
  setInterval(refresh, 5000);
})();
