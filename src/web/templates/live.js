// Keeps a signed-in page current without a reload. The page listens to its
// live-update stream (GET /events): the unread count (on the home page and at
// the start of the tab title), new messages of the open conversation, the
// on-line list and reminders that fall due. The server ends each stream after
// a short while and the browser comes back by itself with the last event's
// id. When the stream is refused (too many open) or cannot be kept, the page
// works as it does without it: online.js polls the on-line list, and the
// stream is tried again later. New messages and reminders are also shown as
// browser notifications once the visitor allows them.
(function () {
  var address = document.body.getAttribute("data-live");
  if (!address || !window.EventSource) return;
  var live = (window.KorimbaLive = { open: false });
  var retryLater = 30000;

  var allow = document.getElementById("notify-allow");
  if (allow && window.Notification && Notification.permission === "default") {
    allow.hidden = false;
    allow.addEventListener("click", function () {
      Notification.requestPermission().then(function () { allow.hidden = true; });
    });
  }
  function notify(title, body) {
    if (!title || !window.Notification || Notification.permission !== "granted") return;
    try { new Notification(title, { body: body || "" }); } catch (e) { /* not offered here */ }
  }
  function announce(text) {
    var main = document.getElementById("main");
    if (!main || !text) return;
    var note = document.createElement("p");
    note.className = "notice ok live-notice";
    note.setAttribute("role", "status");
    note.textContent = text;
    var heading = main.querySelector("h1");
    main.insertBefore(note, heading ? heading.nextSibling : main.firstChild);
  }

  var conversation = document.querySelector("ul.messages[data-with]");
  var query = new URLSearchParams({ page: location.pathname });
  if (conversation) query.set("with", conversation.getAttribute("data-with"));
  var source = null;

  function connect() {
    source = new EventSource(address + "?" + query.toString());
    function on(name, handle) {
      source.addEventListener(name, function (event) {
        live.open = true;
        document.body.setAttribute("data-live-state", "open");
        handle(event.data);
      });
    }
    on("unread", function (data) {
      var count = Number(data);
      var shown = document.getElementById("unread-count");
      if (shown) shown.textContent = String(count);
      var title = document.title.replace(/^\(\d+\) /, "");
      document.title = count > 0 ? "(" + count + ") " + title : title;
    });
    on("online", function (html) {
      var box = document.getElementById("online");
      if (box) box.innerHTML = html;
    });
    on("post", function (data) {
      var post = JSON.parse(data);
      if (conversation && post.html &&
          !conversation.querySelector('li[data-id="' + post.id + '"]')) {
        conversation.insertAdjacentHTML("afterbegin", post.html);
        var none = document.getElementById("no-messages");
        if (none) none.remove();
      }
      notify(post.notice, post.body);
    });
    on("reminder", function (data) {
      var reminder = JSON.parse(data);
      var list = document.getElementById("reminders");
      if (list && !list.querySelector('li[data-plan="' + reminder.id + '"]')) {
        list.insertAdjacentHTML("beforeend", reminder.html);
        var none = document.getElementById("no-reminders");
        if (none) none.remove();
      }
      announce(reminder.notice);
      notify(reminder.notice, reminder.body);
    });
    on("signed-out", function () {
      source.close();
      live.open = false;
    });
    source.addEventListener("error", function () {
      // Closed for good (refused, or not a stream): poll, try again later.
      if (source.readyState !== EventSource.CLOSED) return;
      live.open = false;
      document.body.setAttribute("data-live-state", "polling");
      setTimeout(connect, retryLater);
    });
  }
  connect();
})();
