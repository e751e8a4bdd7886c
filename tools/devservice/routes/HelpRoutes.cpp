// The help centre and the support chat as the development service offers them: the site map
// of the help articles, the articles themselves and the chat page the application shows.
#include "DevServer.h"

#include <QRegularExpression>

namespace {

const char* const kArticles[][2] = {
    {"en/articles/12-first-steps", "First steps"},
    {"en/articles/13-export", "Export"},
    {"en/articles/20-publishing-to-wordpress", "Publishing to WordPress"},
    {"en/articles/21-seo-advice", "SEO advice"},
    {"en/articles/3173491-chat-to-support", "Chat to support"},
    {"en/collections/4-getting-started", "Getting started"},
};

QByteArray siteMap(const DevRequest& request)
{
    const QByteArray base = "http://" + request.header("host");
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    xml += "  <url><loc>" + base + "/</loc></url>\n";
    for (const auto& article : kArticles)
        xml += "  <url><loc>" + base + "/" + article[0] + "</loc></url>\n";
    xml += "</urlset>\n";
    return xml;
}

// The chat page: the messenger's script interface (Intercom('show'), Intercom('update', user),
// Intercom('hide')) over a small form; it tells the application "shown", "hidden" and
// "newmessages" through the "jsHandler" message handler. It is also the messenger the
// application's bundled page holds in a frame (the help centre's address, with this service's
// host): there it takes the commands as messages from the page above it ({command, value}) and
// tells that page what it would tell the application. A reply from support arrives a few
// seconds after each message the user sends; support also writes on its own (POST
// /__control/support-message), through the page's socket to /support/socket.
const char kChatPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Pellora Support</title>
<style>
 html,body{margin:0;height:100%;font-family:sans-serif;background:transparent}
 #launcher{position:absolute;right:10px;bottom:10px;width:60px;height:60px;border-radius:30px;background:#2f9fb0;
   color:#fff;border:none;font-size:26px;cursor:pointer}
 #messenger{display:none;position:absolute;inset:0;background:#fff;border-radius:5px;flex-direction:column}
 #header{background:#2f9fb0;color:#fff;padding:12px 14px;font-weight:bold;display:flex;justify-content:space-between}
 #close{background:none;border:none;color:#fff;font-size:18px;cursor:pointer}
 #log{flex:1;overflow:auto;padding:10px;font-size:13px}
 .me{text-align:right;color:#333;margin:6px 0}.them{text-align:left;color:#2f9fb0;margin:6px 0}
 #form{display:flex;border-top:1px solid #ddd}#text{flex:1;border:none;padding:10px}#send{border:none;background:#eee;padding:0 14px}
</style></head>
<body>
<button id="launcher" onclick="Intercom('show')">?</button>
<div id="messenger"><div id="header"><span id="greeting">Pellora Support</span><button id="close" onclick="Intercom('hide')">&#x2715;</button></div>
<div id="log"><div class="them">Hi! How can we help?</div></div>
<form id="form"><input id="text" placeholder="Write a reply..."><button id="send">Send</button></form></div>
<script>
 var framed = window.parent !== window;
 function post(body){ if(window.pelloraPost) window.pelloraPost('jsHandler', body); else if(framed) window.parent.postMessage(body, '*'); }
 window.addEventListener('message', function(event){
   if(framed && event.source === window.parent && event.data && typeof event.data.command === 'string')
     Intercom(event.data.command, event.data.value);
 });
 var user = null;
 function Intercom(command, value){
   if(command==='show'){ document.getElementById('messenger').style.display='flex'; document.getElementById('launcher').style.display='none'; post('shown'); }
   else if(command==='hide'){ document.getElementById('messenger').style.display='none'; document.getElementById('launcher').style.display='block'; post('hidden'); }
   else if(command==='update'){ user = value; var name = user && typeof user.name === 'string' ? user.name.trim() : ''; if(name){ document.getElementById('greeting').textContent = 'Hi ' + name; } }
 }
 // Sending is bound here, not in an inline handler: inside the form, "send" would name its
 // button, not this function, and the form would submit (reloading the page).
 function sendReply(event){
   event.preventDefault();
   var field=document.getElementById('text'); if(!field.value) return;
   var line=document.createElement('div'); line.className='me'; line.textContent=field.value;
   document.getElementById('log').appendChild(line); field.value='';
   setTimeout(function(){ var reply=document.createElement('div'); reply.className='them';
     reply.textContent='Thanks, we will get back to you shortly.'; document.getElementById('log').appendChild(reply); post('newmessages'); }, 3000);
 }
 document.getElementById('form').addEventListener('submit', sendReply);
 // Support's own messages, listened for once the page has told its first state; the socket
 // is opened again when it closes.
 function listen(){
   var socket = new WebSocket('ws://' + location.host + '/support/socket');
   socket.onmessage = function(event){ var line=document.createElement('div'); line.className='them';
     line.textContent=event.data; document.getElementById('log').appendChild(line); post('newmessages'); };
   socket.onclose = function(){ setTimeout(listen, 1000); };
 }
 // The page's first unread-message state.
 window.addEventListener('load', function(){ setTimeout(function(){ post('newmessages'); listen(); }, 50); });
</script></body></html>
)HTML";

} // namespace

DEV_ROUTE_GROUP(registerHelpRoutes)
{
    server.route("GET", QStringLiteral("/support_sitemap.xml"), [](const DevRequest& request) {
        return DevResponse::text(siteMap(request), 200, "application/xml; charset=utf-8");
    });

    server.route("GET", QStringLiteral("/support/intercom.html"), [&server](const DevRequest&) {
        QByteArray page(kChatPage);
        // A script set through /__control/chat-page runs after the page's own.
        const QString extra = server.store().chatPageScript();
        if (!extra.isEmpty())
            page.replace("</body>", "<script>" + extra.toUtf8() + "</script></body>");
        return DevResponse::text(page, 200, "text/html; charset=utf-8");
    });

    for (const auto& article : kArticles) {
        const QByteArray title = article[1];
        server.route("GET", QStringLiteral("/") + QString::fromLatin1(article[0]), [title](const DevRequest&) {
            return DevResponse::text("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title
                                         + "</title></head><body><h1>" + title
                                         + "</h1><p>This article of the Pellora help centre is served by the "
                                           "development service.</p></body></html>",
                                     200, "text/html; charset=utf-8");
        });
    }
}
